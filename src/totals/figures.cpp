#include "totals/figures.h"

#include <stdexcept>

namespace parktotals {

// The blanks inside these texts are part of them and reach the server as
// they stand: two after "Amount" in figures 3 and 4, two before "and" in
// figure 5, and one after "where" in figure 2's literal against two in the
// others.
const std::array<Figure, kFigureCount> kFigures = {{
    {"day_count_qinfei",
     "SELECT COUNT(*) FROM [T_SCcarset] where kaleibie in ('04','05') and carddatelast<GETDATE()",
     "'  from  T_kextotal ,T_kexbase where  "},
    {"month_money_yushou",
     "SELECT sum((datediff(month, GETDATE(),carddatelast)-1)*Deposit) FROM T_SCcarset where "
     "kaleibie in ('04','05') and datediff(month, GETDATE(),carddatelast)>1",
     "'  from  T_kextotal ,T_kexbase where "},
    {"weixin_money_lishi",
     "SELECT SUM(chargemoney) FROM T_noinmoeny where Amount  like '%微信%' and "
     "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)="
     "YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
     "'  from  T_kextotal ,T_kexbase where  "},
    {"xinjin_money_lishi",
     "SELECT SUM(chargemoney) FROM T_noinmoeny where Amount  in ( '确认放行','免费放行') and "
     "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)="
     "YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
     "'  from  T_kextotal ,T_kexbase where  "},
    {"yichan_money_lishi",
     "SELECT SUM(chargemoney) FROM T_noinmoeny where opremark like '%-1%'  and "
     "YEAR(opdate)*10000+MONTH(opdate)*100+DAY(opdate)="
     "YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)",
     "'  from  T_kextotal ,T_kexbase where  "},
}};

namespace {

// How figures 3 to 5 name the day they add up: the server's yesterday.
constexpr std::string_view kServerYesterday =
    "YEAR(GETDATE()-1)*10000+MONTH(GETDATE()-1)*100+DAY(GETDATE()-1)";

const Figure& FigureAt(int figure) {
    if (figure < 0 || figure >= kFigureCount) throw std::out_of_range("no such figure");
    return kFigures[static_cast<std::size_t>(figure)];
}

} // namespace

bool HasDayQuery(int figure) { return FigureAt(figure).query.find(kServerYesterday) != std::string_view::npos; }

std::string FigureQuery(int figure, std::optional<LocalDate> day) {
    std::string query(FigureAt(figure).query);
    if (!day) return query;
    const std::size_t at = query.find(kServerYesterday);
    if (at == std::string::npos) throw std::logic_error("figure " + std::to_string(figure + 1) + " has no day");
    // The same yyyymmdd number the records' dates are compared with.
    return query.replace(at, kServerYesterday.size(), DateKey(*day));
}

std::string QuoteLiteralText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::string BuildUpdateStatement(int figure, std::string_view value,
                                 std::string_view park_number, std::string_view date_key) {
    const Figure& f = FigureAt(figure);
    std::string s = "update T_kextotal set ";
    s += f.column;
    s += "='";
    s += QuoteLiteralText(value);
    s += f.literal;
    s += "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='";
    s += QuoteLiteralText(park_number);
    s += "' and YEAR(siji)*10000+month(siji)*100+day(siji)='";
    s += QuoteLiteralText(date_key);
    s += "'";
    return s;
}

} // namespace parktotals
