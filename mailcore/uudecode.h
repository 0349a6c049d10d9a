#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// `text` holds uuencoded lines ended by CR LF, without the closing empty line and "end".
// A line whose count is 0 gives nothing.
std::optional<Bytes> UuDecode(std::string_view text, size_t length);

}  // namespace mailcore
