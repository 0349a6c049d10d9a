#include "smtp/utf8_fields.h"

#include <algorithm>

#include "mailcore/wide_text.h"
#include "smtp/utf8_text.h"

namespace outlark {
namespace {

// The length of the UTF-8 sequence at `at`, or 1 for a byte that starts none.
size_t SequenceLength(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return 1;
    for (size_t i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

Cp932Text Utf8ToCp932PerCharacter(std::string_view utf8) {
    Cp932Text out;
    out.text = mailcore::Utf8ToCp932(utf8);
    // "?" is ASCII and never a trail byte in CP932: more of them than the input had means a replacement.
    if (std::count(out.text.begin(), out.text.end(), '?') == std::count(utf8.begin(), utf8.end(), '?'))
        return out;
    out.text.clear();
    size_t i = 0;
    while (i < utf8.size()) {
        size_t ascii_end = i;
        while (ascii_end < utf8.size() && static_cast<unsigned char>(utf8[ascii_end]) < 0x80) ++ascii_end;
        out.text.append(utf8.substr(i, ascii_end - i));
        i = ascii_end;
        if (i == utf8.size()) break;
        size_t length = SequenceLength(utf8, i);
        std::string one = length == 1 ? std::string() : mailcore::Utf8ToCp932(utf8.substr(i, length));
        if (one.empty() || one.find('?') != std::string::npos) {
            out.text.push_back('?');
            ++out.replaced;
        } else {
            out.text += one;
        }
        i += length;
    }
    return out;
}

std::string FieldConverter::operator()(std::string_view utf8, std::string_view field) {
    Cp932Text converted;
    if (keep_utf8_) {
        Utf8Checked checked = WellFormedUtf8(utf8);
        converted = {std::move(checked.text), checked.replaced};
    } else {
        converted = Utf8ToCp932PerCharacter(utf8);
    }
    if (converted.replaced > 0) {
        auto same = [&](const TextWarning& w) { return w.field == field; };
        if (auto it = std::find_if(warnings_.begin(), warnings_.end(), same); it != warnings_.end()) {
            it->replaced += converted.replaced;
        } else {
            warnings_.push_back({std::string(field), converted.replaced});
        }
    }
    return std::move(converted.text);
}

}  // namespace outlark
