#pragma once

#include "text/messages.h"

// Every message of the program's own, English and Simplified Chinese side
// by side. Not here: the texts that stay as they always were (the memo
// file's "Cannot create file" and "Stream write error", the window's
// caption, the statements), and whatever servers and drivers say, which
// reaches the reader in their own words. Column names, figure numbers, the
// car park number, dates and exit codes read the same in both languages.
namespace parktotals::msg {

} // namespace parktotals::msg
