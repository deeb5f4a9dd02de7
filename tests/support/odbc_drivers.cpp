#include "support/odbc_drivers.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <string>

namespace parktotals::testing {
namespace {

class PrivateOdbcDrivers {
public:
    PrivateOdbcDrivers() {
        std::string drivers = Section(PARKTOTALS_ODBC_DRIVER);
        // Also under the Windows driver's name, as machines that run
        // Windows connection strings unchanged have it.
        for (const char* name : {"FreeTDS", "SQL Server"})
            if (std::string(PARKTOTALS_ODBC_DRIVER) != name) drivers += Section(name);
        folder_.Write("odbcinst.ini", drivers);
        // No data sources: every connection names its driver.
        folder_.Write("odbc.ini", "");
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        // It would rename odbcinst.ini inside that folder.
        unsetenv("ODBCINSTINI");
    }

    const std::string& dir() const { return dir_; }

private:
    // The bare file name, as Debian's tdsodbc package registers the driver
    // in /etc/odbcinst.ini.
    static std::string Section(const std::string& name) { return "[" + name + "]\nDriver=libtdsodbc.so\n\n"; }

    TempDir folder_;
    std::string dir_ = folder_.path().string();
};

const PrivateOdbcDrivers& Drivers() {
    static const PrivateOdbcDrivers drivers;
    return drivers;
}

// Before main(), and so before any test's first ODBC call.
[[maybe_unused]] const std::string& kRegisteredAtStart = Drivers().dir();

} // namespace

const std::string& OdbcSysIniDir() { return Drivers().dir(); }

} // namespace parktotals::testing
