#include "text/language.h"

#include <windows.h>

namespace parktotals {

Language DisplayLanguage() { return LanguageOfWindowsId(GetUserDefaultUILanguage()); }

} // namespace parktotals
