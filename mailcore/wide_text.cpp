#include "mailcore/wide_text.h"

#include <cstdint>
#include <cstring>

#include "mailcore/iconv_converter.h"
#include "mailcore/large_buffer.h"

namespace mailcore {
namespace {

// iconv descriptors are not safe to share between threads; one set per thread.
const IconvConverter& Converter(const char* to, const char* from) {
    thread_local IconvConverter wide_to_sjis("CP932", "UTF-16LE");
    thread_local IconvConverter sjis_to_wide("UTF-16LE", "CP932");
    thread_local IconvConverter utf8_to_sjis("CP932", "UTF-8");
    thread_local IconvConverter sjis_to_utf8("UTF-8", "CP932");
    thread_local IconvConverter utf8_to_wide("UTF-16LE", "UTF-8");
    if (std::strcmp(from, "UTF-8") == 0 && std::strcmp(to, "UTF-16LE") == 0) return utf8_to_wide;
    if (std::strcmp(from, "UTF-16LE") == 0) return wide_to_sjis;
    if (std::strcmp(to, "UTF-16LE") == 0) return sjis_to_wide;
    if (std::strcmp(from, "UTF-8") == 0) return utf8_to_sjis;
    return sjis_to_utf8;
}

// CP932 maps 0x00-0x7F one to one onto U+0000-U+007F, so pure ASCII (every 7-bit mail) needs no iconv.
bool IsAscii(std::string_view text) {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        high |= word;
    }
    for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]);
    return (high & 0x8080808080808080ull) == 0;
}

bool IsAscii(std::u16string_view text) {
    char16_t high = 0;
    for (char16_t c : text) high |= c;
    return high < 0x80;
}

}  // namespace

std::string WideToCp932(std::u16string_view text) {
    if (IsAscii(text)) {
        std::string narrow;
        ReserveLarge(narrow, text.size());
        narrow.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i]);
        return narrow;
    }
    std::string le;
    le.reserve(text.size() * 2);
    for (char16_t c : text) {
        le.push_back(static_cast<char>(c & 0xFF));
        le.push_back(static_cast<char>(c >> 8));
    }
    return Converter("CP932", "UTF-16LE").Convert(le, "?", 2);
}

namespace {

// Narrow text to UTF-16 through iconv from `from`; `unit` as for IconvConverter::Convert.
std::u16string ToWide(std::string_view text, const char* from, size_t unit) {
    if (IsAscii(text)) {
        std::u16string wide;
        ReserveLarge(wide, text.size());
        wide.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<char16_t>(text[i]);
        return wide;
    }
    std::string le = Converter("UTF-16LE", from).Convert(text, std::string_view("?\0", 2), unit);
    std::u16string out(le.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(le[2 * i]) |
                                       static_cast<unsigned char>(le[2 * i + 1]) << 8);
    }
    return out;
}

}  // namespace

std::u16string Cp932ToWide(std::string_view text) {
    return ToWide(text, "CP932", IconvConverter::kShiftJisCharacter);
}

std::u16string Utf8ToWide(std::string_view text) { return ToWide(text, "UTF-8", 1); }

std::string Utf8ToCp932(std::string_view text) { return Converter("CP932", "UTF-8").Convert(text, "?", 1); }

std::string Cp932ToUtf8(std::string_view text) {
    return Converter("UTF-8", "CP932").Convert(text, "?", IconvConverter::kShiftJisCharacter);
}

}  // namespace mailcore
