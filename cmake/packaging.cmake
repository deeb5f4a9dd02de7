# The zip for a car park's Windows PC (`cpack`, ZIP generator; scripts/release
# drives it): the exe, sample settings files, a Task Scheduler task, a
# README.txt and the Chinese guide README.zh-CN.txt, all in one folder `parktotals` so that unpacking into C:\ gives
# the task's default folder.

set(PARKTOTALS_TASK_FOLDER "C:\\parktotals" CACHE STRING "Windows folder the scheduled task runs parktotals.exe from")
set(PARKTOTALS_TASK_TIME "02:30" CACHE STRING "Time of day (HH:MM, 24 h) the scheduled task starts the program")
# scripts/release --sign: the exe, the uninstaller and the installer are
# signed by scripts/lib/sign-file, which takes the certificate from the
# environment.
option(PARKTOTALS_SIGN "Sign parktotals.exe and the installer's uninstaller (scripts/release --sign)" OFF)
set(sign_command ${PROJECT_SOURCE_DIR}/scripts/lib/sign-file)

if(NOT PARKTOTALS_TASK_TIME MATCHES "^([01][0-9]|2[0-3]):[0-5][0-9]$")
  message(FATAL_ERROR "PARKTOTALS_TASK_TIME must be HH:MM (00:00 to 23:59), not \"${PARKTOTALS_TASK_TIME}\"")
endif()
# A trailing backslash would double in the command; a drive letter keeps the
# task independent of the account's current folder.
string(REGEX REPLACE "\\\\+$" "" task_folder "${PARKTOTALS_TASK_FOLDER}")
if(NOT task_folder MATCHES "^[A-Za-z]:\\\\[^\"<>|?*]*$")
  message(FATAL_ERROR "PARKTOTALS_TASK_FOLDER must be a full Windows folder such as C:\\parktotals, "
                      "not \"${PARKTOTALS_TASK_FOLDER}\"")
endif()

set(package_dir ${CMAKE_BINARY_DIR}/package)
set(PARKTOTALS_TASK_FOLDER_TEXT "${task_folder}")
string(REPLACE "&" "&amp;" PARKTOTALS_TASK_FOLDER_XML "${task_folder}")
set(windows_files ${PROJECT_SOURCE_DIR}/packaging/windows)

# Notepad before Windows 10 shows LF-only files as one long line.
configure_file(${windows_files}/README.txt.in ${package_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${windows_files}/RegInfo.INI ${package_dir}/RegInfo.INI @ONLY NEWLINE_STYLE CRLF)
configure_file(${windows_files}/weixinconfig.ini ${package_dir}/weixinconfig.ini @ONLY NEWLINE_STYLE CRLF)
# The technician's guide in Chinese, for Notepad: CR LF, and UTF-8 behind a
# byte-order mark, which every Notepad takes for UTF-8 (without one, older
# ones read it in the ANSI code page).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.zh-CN.md)
execute_process(
  COMMAND ${PARKTOTALS_PYTHON3} -c
    "import sys; text = open(sys.argv[1], encoding='utf-8').read(); open(sys.argv[2], 'w', encoding='utf-8-sig', newline='\\r\\n').write(text)"
    ${PROJECT_SOURCE_DIR}/README.zh-CN.md ${package_dir}/README.zh-CN.txt
  COMMAND_ERROR_IS_FATAL ANY)

# UTF-16 LE with a byte-order mark, as schtasks itself exports tasks: the
# one encoding every version of `schtasks /create /xml` takes.
configure_file(${windows_files}/parktotals-task.xml.in ${package_dir}/parktotals-task.utf8.xml @ONLY NEWLINE_STYLE CRLF)
execute_process(
  COMMAND ${PARKTOTALS_PYTHON3} -c
    "import sys; text = open(sys.argv[1], encoding='utf-8', newline='').read(); open(sys.argv[2], 'wb').write(b'\\xff\\xfe' + text.encode('utf-16-le'))"
    ${package_dir}/parktotals-task.utf8.xml ${package_dir}/parktotals-task.xml
  COMMAND_ERROR_IS_FATAL ANY)

# The installer (makensis, package nsis) writes the same task at install
# time, with the folder and time chosen there: the template becomes NSIS
# lines that write it, with the two values as the installer's variables.
find_program(PARKTOTALS_MAKENSIS makensis)
if(PARKTOTALS_MAKENSIS)
  file(READ ${windows_files}/parktotals-task.xml.in task_xml)
  string(REPLACE "@PROJECT_VERSION@" "${PROJECT_VERSION}" task_xml "${task_xml}")
  string(REPLACE "@PARKTOTALS_TASK_TIME@" "$TaskTime" task_xml "${task_xml}")
  string(REPLACE "@PARKTOTALS_TASK_FOLDER_XML@" "$TaskFolderXml" task_xml "${task_xml}")
  if(task_xml MATCHES "[`@]" OR task_xml MATCHES "\\$[^T]")
    message(FATAL_ERROR "parktotals-task.xml.in holds a character the installer's copy of it cannot: ` @ or $")
  endif()
  string(REGEX REPLACE "\n$" "" task_xml "${task_xml}")
  string(REPLACE "\n" "$\\r$\\n`\n  FileWriteUTF16LE $0 `" task_xml "${task_xml}")
  file(WRITE ${package_dir}/task.nsh "  FileWriteUTF16LE $0 `${task_xml}$\\r$\\n`\n")

  # From the exe in the zip, so that both carry the very same file: run
  # after cpack (scripts/release does).
  add_custom_target(parktotals_setup
    COMMAND ${CMAKE_COMMAND} -DZIP=${CMAKE_BINARY_DIR}/parktotals-${PROJECT_VERSION}-win64.zip
            -DWORK_DIR=${package_dir}/setup -DMAKENSIS=${PARKTOTALS_MAKENSIS} -DVERSION=${PROJECT_VERSION}
            -DSCRIPT=${windows_files}/parktotals-setup.nsi -DTASK_NSH=${package_dir}/task.nsh
            -DSIGN_COMMAND=$<$<BOOL:${PARKTOTALS_SIGN}>:${sign_command}>
            -DOUTFILE=${CMAKE_BINARY_DIR}/parktotals-${PROJECT_VERSION}-setup.exe
            -P ${PROJECT_SOURCE_DIR}/cmake/make_setup.cmake
    VERBATIM)
endif()

install(TARGETS parktotals RUNTIME DESTINATION parktotals)
# Signed once CPack has stripped it (a later strip would break the
# signature), before it is packed; the installer takes it from the zip.
if(PARKTOTALS_SIGN)
  install(CODE "execute_process(COMMAND \"${sign_command}\"
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/parktotals/parktotals.exe\" COMMAND_ERROR_IS_FATAL ANY)")
endif()
install(FILES
  ${package_dir}/README.txt
  ${package_dir}/README.zh-CN.txt
  ${package_dir}/RegInfo.INI
  ${package_dir}/weixinconfig.ini
  ${package_dir}/parktotals-task.xml
  DESTINATION parktotals)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME parktotals)
set(CPACK_PACKAGE_VENDOR parktotals)
set(CPACK_PACKAGE_FILE_NAME parktotals-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The debug information would make the exe several times larger.
set(CPACK_STRIP_FILES ON)
# A source package of this tree would pick up build/release/CMakeCache.txt,
# which holds the central password.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build/")
include(CPack)
