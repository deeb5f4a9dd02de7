#pragma once

// A car park's folder, as a scheduler runs the program in it: the working
// directory with RegInfo.INI, and bin/ with a copy of the program and
// weixinconfig.ini beside it.

#include "support/odbc_drivers.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/wait.h"

#include <filesystem>
#include <optional>
#include <string>

namespace parktotals::testing {

class CarParkFolder {
public:
    CarParkFolder() {
        std::filesystem::create_directory(dir.path() / "bin");
        SetProgramName("parktotals");
        SetParkNumber("208");
    }

    // The program's name decides its title (error box, stderr prefix).
    void SetProgramName(const std::string& name) {
        if (!program.empty()) std::filesystem::remove(program);
        program = (dir.path() / "bin" / name).string();
        std::filesystem::copy_file(PARKTOTALS_E2E_PROGRAM, program,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void SetParkNumber(const std::string& number) const {
        dir.Write("bin/weixinconfig.ini", "[code]\r\njov_park_id=" + number + "\r\n");
    }
    void SetRegInfo(const std::string& connection_string) const {
        dir.Write("RegInfo.INI", connection_string + "\r\n");
    }

    // Without a display the program runs headless. The tests' own driver
    // list goes with it, so the machine's /etc/odbcinst.ini plays no part.
    ProcessOptions Options(std::optional<std::string> display = std::nullopt) const {
        ProcessOptions o;
        o.working_directory = dir.path().string();
        o.environment["DISPLAY"] = std::move(display);
        o.environment["ODBCSYSINI"] = OdbcSysIniDir();
        // English, whatever the machine's language; a test may ask for
        // another.
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) o.environment[name] = std::nullopt;
        o.environment["LANG"] = "C.UTF-8";
        return o;
    }
    ProcessResult RunHeadless() const { return RunProcess({program}, Options(), kGenerousTimeout); }
    std::string Read(const std::string& name) const { return ReadBytes(dir / name); }

    TempDir dir;
    std::string program;
};

} // namespace parktotals::testing
