#include "totals/daily_totals.h"

#include "totals/figures.h"
#include "totals/memo_file.h"
#include "totals/profile.h"

namespace parktotals {

std::string ReadParkNumber(const std::string& park_config_path) {
    return ReadProfileString(park_config_path, "code", "jov_park_id", "1");
}

Outcome RunDailyTotals(Gateway& gateway, Memo& memo, const JobSettings& settings) {
    memo.Clear();
    gateway.OpenCentral();
    if (!gateway.IsCentralOpen()) return Outcome::Incomplete;

    const std::string park_number = ReadParkNumber(settings.park_config_path);
    // One date for the whole run, so a run that crosses midnight cannot
    // spread its figures over two days.
    const std::string date_key = YesterdayKey(settings.today());

    int accepted = 0;
    for (int figure = 0; figure < kFigureCount; ++figure) {
        try {
            std::string value = "0";
            // A failed query skips the figure: sending "0" would overwrite
            // the central figure with a number nobody computed.
            if (!gateway.QueryLocalScalar(std::string(kFigures[figure].query), value)) continue;
            // NULL means there was nothing to add up, so zero is the truth.
            // (push_back, because assigning "0" trips a GCC 12 -Wrestrict false alarm.)
            if (value.empty()) value.push_back('0');
            const std::string statement = BuildUpdateStatement(figure, value, park_number, date_key);
            const ChangedRows rows = gateway.ExecCentral(statement);
            // An update that matched no row changed nothing at head office:
            // not transferred, though the server accepted it and so it is
            // logged. An unknown count is taken as transferred.
            if (rows != 0) ++accepted;
            memo.AppendLine(statement);
        } catch (...) {
            // One figure's failure must not cost the others.
        }
    }

    gateway.CloseCentral();
    SaveMemoFile(settings.memo_path, memo.Lines());
    return accepted == kFigureCount ? Outcome::AllTransferred : Outcome::Incomplete;
}

} // namespace parktotals
