#include "text/errors.h"

namespace parktotals {

std::string TrimMessageTail(std::string text) {
    while (!text.empty()) {
        const char c = text.back();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '.') break;
        text.pop_back();
    }
    return text;
}

} // namespace parktotals
