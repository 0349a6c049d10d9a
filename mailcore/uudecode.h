#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// `text` holds uuencoded lines ended by CR LF (a bare LF is taken too), without the closing empty line and
// "end"; only the first `length` characters are read. A line whose count is 0 gives nothing. Every other
// line gives exactly its count of bytes: characters missing from a short line (blanks stripped in transit,
// or the data cut) read as zero bits. An empty line gives nothing; data ending without a line end is
// decoded like a line.
std::optional<Bytes> UuDecode(std::string_view text, size_t length);

}  // namespace mailcore
