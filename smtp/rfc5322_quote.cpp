#include "smtp/rfc5322_quote.h"

namespace outlark {

std::string QuotedString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    out.push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace outlark
