#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// Both decode floor(length / 4) groups of `text` and require `length` to be a multiple of 3 (empty text or
// nothing otherwise). Characters past the end of `text` count as outside the alphabet; groups wholly past
// it give nothing. The text form ends at the first decoded zero byte, as all host-side text does.
std::string Base64DecodeText(std::string_view text, size_t length);
std::optional<Bytes> Base64DecodeBytes(std::string_view text, size_t length);

}  // namespace mailcore
