#include "agent/config/sjis_codes.h"

namespace mirelo {

std::size_t SjisCharLength(std::string_view text, std::size_t pos) {
    if (IsSjisLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) return 2;
    return 1;
}

std::vector<int> SjisCodes(std::string_view text) {
    std::vector<int> codes;
    codes.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = SjisCharLength(text, pos);
        const auto b0 = static_cast<unsigned char>(text[pos]);
        if (len == 2) {
            const auto b1 = static_cast<unsigned char>(text[pos + 1]);
            codes.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(b0 << 8 | b1)));
        } else {
            codes.push_back(b0);
        }
        pos += len;
    }
    return codes;
}

void AppendSjisCode(std::string& out, int code) {
    if (code >= 0 && code <= 0xFF) {
        out.push_back(static_cast<char>(code));
        return;
    }
    const auto pattern = static_cast<std::uint16_t>(code);
    out.push_back(static_cast<char>(pattern >> 8));
    out.push_back(static_cast<char>(pattern & 0xFF));
}

}  // namespace mirelo
