#include "totals/run_report.h"

namespace parktotals {

ReportFormat NativeReportFormat() { return {false, "\n"}; }

} // namespace parktotals
