#include "totals/run_report.h"

namespace parktotals {

// Notepad before Windows 10 1903 reads a file without a byte-order mark in
// the ANSI code page, and shows LF-only text as one line.
ReportFormat NativeReportFormat() { return {true, "\r\n"}; }

} // namespace parktotals
