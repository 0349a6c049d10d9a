#pragma once

#include <vector>

#include "outlark/composer.h"

namespace outlark_tool {

// One line on standard error per field that lost characters on the way to Shift_JIS (CP932).
void PrintWarnings(const std::vector<outlark::TextWarning>& warnings);

}  // namespace outlark_tool
