#pragma once

#include <cstdint>
#include <vector>

namespace mailcore {

// Decoded binary data (attachments, base64 and uuencode output).
using Bytes = std::vector<std::uint8_t>;

}  // namespace mailcore
