#include "support/odbc_drivers.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace parktotals::testing {
namespace {

class PrivateOdbcDrivers {
public:
    PrivateOdbcDrivers() {
        std::string pattern = (std::filesystem::temp_directory_path() / "parktotals-odbc-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "cannot make a folder like " + pattern);
        dir_ = pattern;
        std::string drivers = Section(PARKTOTALS_ODBC_DRIVER);
        if (std::string(PARKTOTALS_ODBC_DRIVER) != "FreeTDS") drivers += Section("FreeTDS");
        std::ofstream(dir_ + "/odbcinst.ini") << drivers;
        // No data sources: every connection names its driver.
        std::ofstream(dir_ + "/odbc.ini");
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        // It would rename odbcinst.ini inside that folder.
        unsetenv("ODBCINSTINI");
    }
    ~PrivateOdbcDrivers() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    PrivateOdbcDrivers(const PrivateOdbcDrivers&) = delete;
    PrivateOdbcDrivers& operator=(const PrivateOdbcDrivers&) = delete;

    const std::string& dir() const { return dir_; }

private:
    // The bare file name, as Debian's tdsodbc package registers the driver
    // in /etc/odbcinst.ini.
    static std::string Section(const std::string& name) { return "[" + name + "]\nDriver=libtdsodbc.so\n\n"; }

    std::string dir_;
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
