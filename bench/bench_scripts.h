#pragma once

// The stand-ins' scripts the benchmarks share: a car park's local database
// with a day of figures, and the central database that takes every update.

#include <string>

#include "standin/standin.h"

namespace parktotals::bench {

// Answers each figure's query the way a day with takings would.
standin::Script LocalScript();

// Lets `user` in with `password` (any login when `user` is empty) and
// accepts every update of the totals table.
standin::Script CentralScript(const std::string& user = "", const std::string& password = "");

} // namespace parktotals::bench
