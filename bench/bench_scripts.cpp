#include "bench_scripts.h"

#include "totals/figures.h"

namespace parktotals::bench {

using standin::Answer;
using standin::Rule;
using standin::Value;

standin::Script LocalScript() {
    const Answer answers[kFigureCount] = {
        Answer::Scalar(Value::Int(17)), Answer::Scalar(Value::Money("5400")),
        Answer::Scalar(Value::Money("1234.5")), Answer::Scalar(Value::Null(standin::SqlType::Money)),
        Answer::Scalar(Value::Money("86.25"))};
    standin::Script script;
    for (int i = 0; i < kFigureCount; ++i)
        script.rules.push_back(Rule::Exact(std::string(kFigures[i].query) + "\r\n", answers[i]));
    script.fallback = Answer::Error(208, "Invalid object name 'x'.");
    return script;
}

standin::Script CentralScript(const std::string& user, const std::string& password) {
    standin::Script script;
    if (!user.empty()) script.accounts[user] = password;
    script.rules.push_back(Rule::Regex("update T_kextotal set [\\s\\S]*", Answer::RowCount(1)));
    script.fallback = Answer::Error(208, "Invalid object name 'x'.");
    return script;
}

} // namespace parktotals::bench
