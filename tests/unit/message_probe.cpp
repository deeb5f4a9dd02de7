// Compiled by the tests, not linked: a message must not build without its
// Chinese, nor with a Chinese text that takes other arguments. The whole one
// shows that the other two fail for that reason alone.
#include "text/messages.h"
#if defined(BOTH_LANGUAGES)
constexpr parktotals::Message kProbe("Figure {0}", "图{0}");
#elif defined(OTHER_ARGUMENTS)
constexpr parktotals::Message kProbe("Figure {0}", "图{1}");
#else // NO_CHINESE
constexpr parktotals::Message kProbe("Figure {0}", "");
#endif
int main() {}
