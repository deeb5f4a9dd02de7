#include "support/standin_scripts.h"

namespace parktotals::testing {

standin::Script LocalFiguresScript() { return standin::LoadScript(PARKTOTALS_LOCAL_FIGURES_RULES); }

standin::Script CentralScript(const std::string& user, const std::string& password, const standin::Answer& update) {
    standin::Script script;
    if (!user.empty()) script.accounts[user] = password;
    script.rules.push_back(standin::Rule::Regex("update T_kextotal set [\\s\\S]*", update));
    script.fallback = standin::Answer::Error(208, "Invalid object name 'x'.");
    return script;
}

} // namespace parktotals::testing
