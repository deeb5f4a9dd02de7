#pragma once

#include <string>

namespace parktotals::testing {

// The folder of the tests' own odbcinst.ini, which registers FreeTDS
// (libtdsodbc.so) under the driver name the program asks for, as "FreeTDS"
// for the tests' own ODBC clients, and as "SQL Server". A test program that links the
// parktotals_odbc_drivers objects points ODBCSYSINI there before main(),
// so no test depends on the machine's /etc/odbcinst.ini; child processes
// inherit it, and tests that start the program also pass it on by name.
const std::string& OdbcSysIniDir();

} // namespace parktotals::testing
