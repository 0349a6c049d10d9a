#include "smtp/attachment_headers.h"

#include <algorithm>

#include "mailcore/base64_encode.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/wide_text.h"
#include "smtp/file_type.h"
#include "smtp/utf8_text.h"

namespace outlark {
namespace {

constexpr size_t kWordColumns = 62;
constexpr size_t kLineColumns = 76;
constexpr std::string_view kDescriptionField = "Content-Description: ";
// Percent-encoded characters per filename* section, so every section line stays short.
constexpr size_t kSectionChars = 60;

bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7F;
    });
}

size_t SjisCharLength(std::string_view text, size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    bool double_byte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    return double_byte && at + 1 < text.size() ? 2 : 1;
}

// The text of the name or description as its characters and their UTF-8 form.
struct NameText {
    std::string_view text;
    bool utf8;
    size_t CharLength(size_t at) const { return utf8 ? Utf8CharLength(text, at) : SjisCharLength(text, at); }
    std::string Utf8(std::string_view piece) const {
        return utf8 ? std::string(piece) : mailcore::Cp932ToUtf8(piece);
    }
};

// Encoded words of whole characters, each complete in itself (an ISO-2022-JP word ends back in ASCII),
// joined by a folding line break: the blank between words is dropped by readers. ISO-2022-JP unless it
// would change the text (half-width katakana, codes without a JIS form); UTF-8 then.
// `lead` is the width of what precedes the first word on its line.
std::string EncodedWords(NameText name, size_t lead = 0) {
    const std::string_view text = name.text;
    const bool jis_exact = !name.utf8 && mailcore::JisToSjis(mailcore::SjisToJis(text)) == text;
    const std::string prefix = jis_exact ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
    auto convert = [jis_exact, name](std::string_view piece) {
        return jis_exact ? mailcore::SjisToJis(piece) : name.Utf8(piece);
    };
    // Words of at most 62 columns keep ` filename="word";` within 76 (RFC 2047 allows 75 per word).
    size_t columns = std::min(kWordColumns, kLineColumns - lead);
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t room = (columns - prefix.size() - 2) / 4 * 3;
        columns = kWordColumns;
        size_t end = start + name.CharLength(start);
        std::string encoded = convert(text.substr(start, end - start));
        // GMime joins the base64 of neighbouring words before decoding, so a word that is not the last
        // must carry whole 3-byte groups (no "=" padding) wherever the characters allow it.
        size_t whole_end = encoded.size() % 3 == 0 ? end : start;
        std::string whole = encoded.size() % 3 == 0 ? encoded : std::string();
        while (end < text.size()) {
            size_t next = end + name.CharLength(end);
            std::string longer = convert(text.substr(start, next - start));
            if (longer.size() > room) break;
            encoded = std::move(longer);
            end = next;
            if (encoded.size() % 3 == 0) {
                whole_end = end;
                whole = encoded;
            }
        }
        if (end < text.size() && whole_end > start) {
            end = whole_end;
            encoded = std::move(whole);
        }
        if (!out.empty()) out += "\r\n ";
        out += prefix + mailcore::Base64Encode(encoded) + "?=";
        start = end;
    }
    return out;
}

// RFC 2231 sections of the UTF-8 name: filename*0*=UTF-8''...; filename*1*=...
std::string ExtendedFileName(NameText name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string utf8 = name.Utf8(name.text);
    std::string out;
    std::string section = "UTF-8''";
    int number = 0;
    auto flush = [&] {
        out += ";\r\n filename*" + std::to_string(number++) + "*=" + section;
        section.clear();
    };
    for (unsigned char c : utf8) {
        bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
                     c == '-' || c == '_';
        if (plain) {
            section.push_back(static_cast<char>(c));
        } else {
            section += '%';
            section += kHex[c >> 4];
            section += kHex[c & 15];
        }
        if (section.size() >= kSectionChars) flush();
    }
    if (!section.empty() || number == 0) flush();
    return out;
}

}  // namespace

std::string QuotedParameterValue(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string AttachmentPartHeaders(std::string_view file_name, std::string_view type_name, bool utf8) {
    std::string_view stem = FileStemOf(file_name);
    std::string description = std::string(stem) + " (" + std::string(type_name) + ")";
    std::string out;
    if (IsPlainAscii(file_name)) {
        std::string quoted = QuotedParameterValue(file_name);
        out += "Content-Type: application/octet-stream; name=" + quoted + "\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += std::string(kDescriptionField) +
               (IsPlainAscii(description) ? description
                                          : EncodedWords({description, utf8}, kDescriptionField.size())) +
               "\r\n";
        out += "Content-Disposition: attachment; filename=" + quoted + "\r\n";
        return out;
    }
    std::string words = QuotedParameterValue(EncodedWords({file_name, utf8}));
    out += "Content-Type: application/octet-stream;\r\n name=" + words + "\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out +=
        std::string(kDescriptionField) + EncodedWords({description, utf8}, kDescriptionField.size()) + "\r\n";
    out += "Content-Disposition: attachment;\r\n filename=" + words + ExtendedFileName({file_name, utf8}) +
           "\r\n";
    return out;
}

}  // namespace outlark
