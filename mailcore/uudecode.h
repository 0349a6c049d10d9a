#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// `text` holds uuencoded lines ended by CR LF (a bare LF is taken too), without the closing empty line and
// "end"; only the first `length` characters are read. A line whose count is 0 gives nothing. A line shorter
// than its count gives the bytes its characters hold; data ending without a line end keeps what it gave.
std::optional<Bytes> UuDecode(std::string_view text, size_t length);

}  // namespace mailcore
