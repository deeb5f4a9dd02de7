# cmake -DZIP=... -DWORK_DIR=... -DMAKENSIS=... -DVERSION=... -DSCRIPT=...
#       -DTASK_NSH=... -DOUTFILE=... [-DSIGN_COMMAND=...] -P make_setup.cmake
# Builds the installer around the parktotals.exe that the zip holds.
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "${ZIP} is missing: the installer is made from the zip's exe, so run cpack first "
                      "(scripts/release does both)")
endif()
# Each text in both languages, before makensis, which would only warn.
get_filename_component(script_dir "${SCRIPT}" DIRECTORY)
set(STRINGS ${script_dir}/parktotals-strings.nsh)
include(${CMAKE_CURRENT_LIST_DIR}/check_installer_strings.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}" parktotals/parktotals.exe
                WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
set(sign "")
if(SIGN_COMMAND)
  set(sign -DSIGN_COMMAND=${SIGN_COMMAND})
endif()
execute_process(
  COMMAND "${MAKENSIS}" -V2 -WX -DVERSION=${VERSION} -DEXE=${WORK_DIR}/parktotals/parktotals.exe
          -DOUTFILE=${OUTFILE} -DTASK_NSH=${TASK_NSH} ${sign} "${SCRIPT}"
  COMMAND_ERROR_IS_FATAL ANY)
