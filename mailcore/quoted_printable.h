#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// Decodes the first `length` characters of `text` (never past its end).
std::string QpDecodeText(std::string_view text, size_t length);
// The decoded bytes up to the first zero byte.
Bytes QpDecodeBytes(std::string_view text, size_t length);

}  // namespace mailcore
