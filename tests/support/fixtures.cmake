# Test fixtures that several test programs and the benchmarks share, as
# object libraries: their objects go into each program that links them, so
# a static initializer in them always runs. Included from each folder that
# uses them; the first include defines them.
if(TARGET parktotals_odbc_drivers OR NOT TARGET parktotals_standin)
  return()
endif()

set(parktotals_support_dir ${CMAKE_CURRENT_LIST_DIR})

# The tests' own odbcinst.ini (support/odbc_drivers.h).
add_library(parktotals_odbc_drivers OBJECT ${parktotals_support_dir}/odbc_drivers.cpp)
target_include_directories(parktotals_odbc_drivers PUBLIC ${parktotals_support_dir}/..)
target_compile_definitions(parktotals_odbc_drivers PRIVATE PARKTOTALS_ODBC_DRIVER="${PARKTOTALS_ODBC_DRIVER}")

# A day of figures and a central server that takes them (support/standin_scripts.h).
add_library(parktotals_standin_scripts OBJECT ${parktotals_support_dir}/standin_scripts.cpp)
target_include_directories(parktotals_standin_scripts PUBLIC ${parktotals_support_dir}/..)
target_link_libraries(parktotals_standin_scripts PUBLIC parktotals_standin parktotals_totals)
target_compile_definitions(parktotals_standin_scripts PRIVATE
  PARKTOTALS_LOCAL_FIGURES_RULES="${parktotals_support_dir}/local_figures.rules")
