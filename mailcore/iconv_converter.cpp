#include "mailcore/iconv_converter.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace mailcore {
namespace {

size_t ShiftJisCharacterSize(std::string_view rest) {
    if (rest.size() < 2) return rest.size();
    const auto lead = static_cast<unsigned char>(rest[0]);
    const auto trail = static_cast<unsigned char>(rest[1]);
    const bool is_lead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    const bool is_trail = trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
    return is_lead && is_trail ? 2 : 1;
}

}  // namespace

IconvConverter::IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
}

IconvConverter::~IconvConverter() { iconv_close(cd_); }

std::string IconvConverter::Convert(std::string_view input, std::string_view replacement, size_t unit) const {
    std::string out;
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    size_t in_left = input.size();
    size_t used = 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (in_left > 0) {
        char* dst = out.data() + used;
        size_t dst_left = out.size() - used;
        const size_t rc = iconv(cd_, &in, &in_left, &dst, &dst_left);
        used = out.size() - dst_left;
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {
            // EILSEQ or EINVAL (truncated at the end): replace one unit and go on.
            size_t skip = std::min(unit, in_left);
            if (unit == kShiftJisCharacter) skip = ShiftJisCharacterSize(std::string_view(in, in_left));
            if (errno == EILSEQ && unit == 2 && in_left >= 4) {
                // A surrogate pair counts as one character.
                unsigned hi = static_cast<unsigned char>(in[0]) | static_cast<unsigned char>(in[1]) << 8;
                if (hi >= 0xD800 && hi < 0xDC00) skip = 4;
            }
            in += skip;
            in_left -= skip;
            out.resize(used);
            out.append(replacement);
            used = out.size();
            out.resize(used + in_left * 2 + 16);
        }
    }
    // A stateful target (ISO-2022-JP) ends in its initial state: the closing escape sequence.
    while (true) {
        char* dst = out.data() + used;
        size_t dst_left = out.size() - used;
        const size_t rc = iconv(cd_, nullptr, nullptr, &dst, &dst_left);
        used = out.size() - dst_left;
        if (rc != static_cast<size_t>(-1) || errno != E2BIG) break;
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return out;
}

}  // namespace mailcore
