#pragma once

#include "text/messages.h"

// Every message of the program's own, English and Simplified Chinese side
// by side. Not here: the texts that stay as they always were (the memo
// file's "Cannot create file" and "Stream write error", the window's
// caption, the statements), and whatever servers and drivers say, which
// reaches the reader in their own words. Column names, figure numbers, the
// car park number, dates, SQLSTATEs and exit codes read the same in both.
namespace parktotals::msg {

// ---------------------------------------------------------------------------
// Connection strings, RegInfo.INI and the databases (src/db)
// ---------------------------------------------------------------------------

// (end of the databases' messages)

// ---------------------------------------------------------------------------
// The run report and the notices of a run without a window (src/totals)
// ---------------------------------------------------------------------------

// (end of the run report's messages)

// ---------------------------------------------------------------------------
// The command line, the installer's options and the shells (src/app)
// ---------------------------------------------------------------------------

// (end of the program's messages)

} // namespace parktotals::msg
