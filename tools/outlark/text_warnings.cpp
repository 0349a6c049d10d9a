#include "text_warnings.h"

#include <iostream>

namespace outlark_tool {

void PrintWarnings(const std::vector<outlark::TextWarning>& warnings) {
    for (const outlark::TextWarning& w : warnings) {
        std::cerr << "outlark: warning: " << w.replaced << (w.replaced == 1 ? " character" : " characters")
                  << " of the " << w.field << " cannot be written in Shift_JIS (CP932) and became \"?\"\n";
    }
}

}  // namespace outlark_tool
