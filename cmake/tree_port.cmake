# parktotals_tree_port(<var> <first> <count> <doc>)
# A fixed port for a central stand-in that a test or benchmark build bakes
# into its copy of the program. It comes from the build tree's path, so two
# trees running at once do not collide, and lies in [first, first + count).
# Keep ranges out of Linux's ephemeral ports (32768-60999): a client socket
# lingering in TIME_WAIT there would block the stand-in for a minute.
function(parktotals_tree_port var first count doc)
  string(MD5 hash "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${hash}" 0 4 hash)
  math(EXPR port "0x${hash} % ${count} + ${first}")
  set(${var} ${port} CACHE STRING "${doc}")
endfunction()
