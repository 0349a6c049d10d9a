#pragma once

#include <string>
#include <string_view>

namespace mailcore {

// Lines of at most 45 bytes, each "length character, groups of four, CR LF", with "`" for the value 0.
// Neither the "begin" line nor the closing "end" is written, and no zero-length line either.
std::string UuEncode(std::string_view bytes);

}  // namespace mailcore
