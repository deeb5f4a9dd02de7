# parktotals_add_windows_build(<target> <exe-var> HOST <h> USER <u> PASSWORD <p>
#                              BUILD_TYPE <type> [STRIP] [EXCLUDE_FROM_ALL])
# A cross build of this source tree for Windows under the current binary
# folder, with its own central account baked in; the path of its
# parktotals.exe goes to <exe-var>. Tests and benchmarks each need one that
# reaches their own stand-in.
include(ExternalProject)
function(parktotals_add_windows_build target exe_var)
  cmake_parse_arguments(ARG "STRIP;EXCLUDE_FROM_ALL" "HOST;USER;PASSWORD;BUILD_TYPE" "" ${ARGN})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/windows-build)
  set(exe ${dir}/src/app/parktotals.exe)
  set(extra "")
  if(ARG_STRIP)
    list(APPEND extra -DCMAKE_EXE_LINKER_FLAGS=-s)
  endif()
  ExternalProject_Add(${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${ARG_BUILD_TYPE}
      ${extra}
      -DPARKTOTALS_CENTRAL_HOST=${ARG_HOST}
      -DPARKTOTALS_CENTRAL_USER=${ARG_USER}
      -DPARKTOTALS_CENTRAL_PASSWORD=${ARG_PASSWORD}
      -DPARKTOTALS_CENTRAL_ENCRYPT=${PARKTOTALS_CENTRAL_ENCRYPT}
      -DPARKTOTALS_CENTRAL_TRUST_CERTIFICATE=${PARKTOTALS_CENTRAL_TRUST_CERTIFICATE}
    # Ninja decides what is out of date; the step itself always runs.
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    EXCLUDE_FROM_ALL ${ARG_EXCLUDE_FROM_ALL}
    BUILD_BYPRODUCTS ${exe})
  set(${exe_var} ${exe} PARENT_SCOPE)
endfunction()
