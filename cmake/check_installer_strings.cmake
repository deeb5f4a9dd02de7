# cmake -DSTRINGS=<parktotals-strings.nsh> -P check_installer_strings.cmake
# Fails unless each LangString of the installer is defined once in English
# and once in Simplified Chinese, and the two show the same $variables and
# ${defines}: a translation that drops $INSTDIR would not tell the
# technician which folder is meant. makensis only warns about a language
# left out (warning 6040) and cannot know about a lost variable.
# make_setup.cmake runs this before makensis; ctest runs it too, for the
# builds that make no installer.
cmake_minimum_required(VERSION 3.22)
set(languages ENGLISH SIMPCHINESE)
list(JOIN languages " and " both)

file(READ "${STRINGS}" text)
# The texts hold ; and may hold brackets, which CMake's lists would split at.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<open>" text "${text}")
string(REPLACE "]" "<close>" text "${text}")
string(REGEX MATCHALL "(^|\n)[ \t]*LangString[^\n]*" lines "${text}")
if(NOT lines)
  message(FATAL_ERROR "${STRINGS}: no LangString found")
endif()

set(names "")
set(failed "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(NOT line MATCHES "^LangString[ \t]+([A-Za-z0-9_]+)[ \t]+\\$\\{LANG_([A-Z]+)\\}[ \t]+\"(.*)\"$")
    list(APPEND failed "not of the form LangString <name> \${LANG_<language>} \"<text>\": ${line}")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  set(language ${CMAKE_MATCH_2})
  set(value "${CMAKE_MATCH_3}")
  if(NOT language IN_LIST languages)
    list(APPEND failed "${name}: ${language} is not one of the installer's languages, ${both}")
  elseif(DEFINED text_${name}_${language})
    list(APPEND failed "${name}: ${language} twice")
  else()
    set(text_${name}_${language} "${value}")
    list(APPEND names ${name})
  endif()
endforeach()

list(REMOVE_DUPLICATES names)
foreach(name IN LISTS names)
  set(first "")
  foreach(language IN LISTS languages)
    if(NOT DEFINED text_${name}_${language})
      list(APPEND failed "${name}: no ${language} text")
      continue()
    endif()
    # $0, $R7, $INSTDIR, ${TASK_NAME}; not the escapes $\r $\n $\".
    string(REGEX MATCHALL "\\$([0-9]|\\{[A-Za-z_]+\\}|[A-Za-z_][A-Za-z0-9_]*)" variables "${text_${name}_${language}}")
    list(SORT variables)
    if(NOT first)
      set(first ${language})
      set(shown "${variables}")
    elseif(NOT variables STREQUAL shown)
      list(JOIN variables " " these)
      list(JOIN shown " " those)
      list(APPEND failed "${name}: ${language} shows \"${these}\", ${first} \"${those}\"")
    endif()
  endforeach()
endforeach()

if(failed)
  list(JOIN failed "\n  " failed)
  message(FATAL_ERROR "${STRINGS}: the installer's texts are not all in ${both} alike:\n  ${failed}")
endif()
list(LENGTH names count)
message(STATUS "${STRINGS}: ${count} texts, each in ${both}")
