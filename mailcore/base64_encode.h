#pragma once

#include <string>
#include <string_view>

namespace mailcore {

// RFC 2045 base64 of `bytes`, padded with "=", without any line break.
std::string Base64Encode(std::string_view bytes);

}  // namespace mailcore
