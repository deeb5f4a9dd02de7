#include "text/language.h"

#include <cstdlib>

namespace parktotals {

Language DisplayLanguage() {
    return LanguageOfLocaleVariables(std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                     std::getenv("LANG"));
}

} // namespace parktotals
