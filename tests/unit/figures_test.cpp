#include "totals/figures.h"

#include <gtest/gtest.h>

namespace parktotals {
namespace {

// The exact statements the central server has always received for car park
// 12 on 7 March 2026; any byte of difference changes what reaches it.
const char* const kExpected[] = {
    "update T_kextotal set day_count_qinfei='3'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='12' and "
    "YEAR(siji)*10000+month(siji)*100+day(siji)='20260307'",
    "update T_kextotal set month_money_yushou='3'  from  T_kextotal ,T_kexbase where "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='12' and "
    "YEAR(siji)*10000+month(siji)*100+day(siji)='20260307'",
    "update T_kextotal set weixin_money_lishi='3'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='12' and "
    "YEAR(siji)*10000+month(siji)*100+day(siji)='20260307'",
    "update T_kextotal set xinjin_money_lishi='3'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='12' and "
    "YEAR(siji)*10000+month(siji)*100+day(siji)='20260307'",
    "update T_kextotal set yichan_money_lishi='3'  from  T_kextotal ,T_kexbase where  "
    "T_kextotal.kex_name = T_kexbase.kex_name and T_kexbase.kex_no='12' and "
    "YEAR(siji)*10000+month(siji)*100+day(siji)='20260307'",
};

TEST(StatementTest, AllFiveStatementsAreByteExact) {
    for (int i = 0; i < kFigureCount; ++i) {
        EXPECT_EQ(BuildUpdateStatement(i, "3", "12", "20260307"), kExpected[i]) << "figure " << i + 1;
    }
}

TEST(StatementTest, DoublesQuotesInParkNumber) {
    const std::string s = BuildUpdateStatement(0, "5", "O'Brien", "20261207");
    EXPECT_NE(s.find("T_kexbase.kex_no='O''Brien' and YEAR"), std::string::npos) << s;
    // Hostile text stays inside its literal: the statement's own quotes are
    // the only unpaired ones.
    const std::string hostile = BuildUpdateStatement(2, "1", "1' or 1=1; drop table T_kextotal --", "20261207");
    EXPECT_NE(hostile.find("kex_no='1'' or 1=1; drop table T_kextotal --' and"), std::string::npos) << hostile;
}

TEST(StatementTest, QuotesEverySplicedText) {
    EXPECT_EQ(QuoteLiteralText("it's ''"), "it''s ''''");
    EXPECT_EQ(QuoteLiteralText("12.5"), "12.5");
    const std::string s = BuildUpdateStatement(1, "1'2", "7", "2026'");
    EXPECT_NE(s.find("month_money_yushou='1''2'  from"), std::string::npos) << s;
    EXPECT_NE(s.find("day(siji)='2026'''"), std::string::npos) << s;
}

} // namespace
} // namespace parktotals
