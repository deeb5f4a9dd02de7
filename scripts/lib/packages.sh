# Debian packages the project needs, and a way to get them.
# Sourced by scripts/test, scripts/demo, scripts/bench and scripts/fuzz.

# To build the program and run its tests.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev
  unixodbc unixodbc-dev tdsodbc freetds-bin   # ODBC with FreeTDS; tsql checks the stand-in
  libssl-dev                                  # TLS in the stand-in, and the tests' throw-away certificates
  libfltk1.3-dev libx11-dev                   # the Linux window
  xvfb xdotool x11-utils imagemagick          # windows under a virtual display, and screenshots
  mingw-w64 wine wine64 python3               # the Windows exe, built and run here
  fonts-wine                                  # Wine's own fonts: Marlett draws its title bars' buttons
  fonts-wqy-microhei fonts-dejavu-core        # Chinese under Wine: a font for it, and the one linked to it
  locales                                     # a zh_CN locale for the wine tests (localedef)
  nsis                                        # its installer (makensis)
  osslsigncode openssl                        # scripts/release --sign, and its test's throw-away certificates
  clang libclang-rt-14-dev                    # scripts/fuzz: libFuzzer and the sanitizer runtimes
  libc++-dev libc++abi-dev                    # the program built with clang and libc++ too
  faketime
  libbenchmark-dev time)                      # scripts/bench: Google Benchmark, /usr/bin/time -v

# For scripts/test --quick: no Wine, window or fuzzing tools.
QUICK_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev unixodbc unixodbc-dev tdsodbc freetds-bin libssl-dev
  libfltk1.3-dev libx11-dev faketime python3)

# To build and run the program and the stand-in servers (scripts/demo).
DEMO_PACKAGES=(cmake ninja-build g++ unixodbc unixodbc-dev tdsodbc libssl-dev libfltk1.3-dev libx11-dev python3)

# Installs the named packages that are missing: with apt-get when running as
# root, otherwise prints the exact command and stops.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
