#include "mailcore/uuencode.h"

#include <algorithm>

namespace mailcore {
namespace {

char UuChar(unsigned value) { return value == 0 ? '`' : static_cast<char>(value + 32); }

}  // namespace

std::string UuEncode(std::string_view bytes) {
    constexpr size_t kLineBytes = 45;
    std::string out;
    out.reserve((bytes.size() + kLineBytes - 1) / kLineBytes * 64);
    for (size_t start = 0; start < bytes.size(); start += kLineBytes) {
        size_t count = std::min(kLineBytes, bytes.size() - start);
        out.push_back(static_cast<char>(count + 32));
        for (size_t i = 0; i < count; i += 3) {
            unsigned char b0 = static_cast<unsigned char>(bytes[start + i]);
            unsigned char b1 = i + 1 < count ? static_cast<unsigned char>(bytes[start + i + 1]) : 0;
            unsigned char b2 = i + 2 < count ? static_cast<unsigned char>(bytes[start + i + 2]) : 0;
            out.push_back(UuChar(b0 >> 2));
            out.push_back(UuChar((b0 << 4 | b1 >> 4) & 63));
            out.push_back(UuChar((b1 << 2 | b2 >> 6) & 63));
            out.push_back(UuChar(b2 & 63));
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace mailcore
