#include "mailcore/charset_text.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "mailcore/iconv_converter.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/unicode_text.h"

namespace mailcore {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Aliases iconv lacks, or where the superset reads real mail better. Keys are upper case.
constexpr std::array<std::pair<std::string_view, std::string_view>, 24> kAliases = {{
    {"SHIFT_JIS", "CP932"},
    {"SHIFT-JIS", "CP932"},
    {"SJIS", "CP932"},
    {"X-SJIS", "CP932"},
    {"X-SHIFT_JIS", "CP932"},
    {"MS_KANJI", "CP932"},
    {"CSSHIFTJIS", "CP932"},
    {"WINDOWS-31J", "CP932"},
    {"MS932", "CP932"},
    {"X-MS-CP932", "CP932"},
    {"EUC-JP", "EUC-JP-MS"},
    {"X-EUC-JP", "EUC-JP-MS"},
    {"EUCJP", "EUC-JP-MS"},
    {"CSISO2022JP", "ISO-2022-JP"},
    {"GB2312", "GB18030"},
    {"GBK", "GB18030"},
    {"X-GBK", "GB18030"},
    {"CP936", "GB18030"},
    {"ISO-8859-1", "WINDOWS-1252"},
    {"LATIN1", "WINDOWS-1252"},
    {"US-ASCII", "WINDOWS-1252"},
    {"ASCII", "WINDOWS-1252"},
    {"KS_C_5601-1987", "CP949"},
    {"UTF8", "UTF-8"},
}};

// 7-bit text without escapes: the same in every ASCII-compatible charset.
bool IsPlainAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<std::uint8_t>(c) >= 0x80 || c == 0x1B) return false;
    }
    return true;
}

// Charsets where ASCII bytes stand for themselves, so ASCII text needs no conversion.
bool AsciiCompatible(std::string_view canonical) {
    return !(canonical.starts_with("UTF-16") || canonical.starts_with("UTF-32") ||
             canonical.starts_with("UTF-7") || canonical.starts_with("UCS") ||
             canonical.starts_with("UNICODE"));
}

// One converter per charset and thread (iconv descriptors are not shared between threads); null when iconv
// does not know the charset.
const IconvConverter* ConverterTo8(const std::string& canonical) {
    thread_local std::map<std::string, std::unique_ptr<IconvConverter>, std::less<>> cache;
    auto it = cache.find(canonical);
    if (it == cache.end()) {
        std::unique_ptr<IconvConverter> c;
        try {
            c = std::make_unique<IconvConverter>("UTF-8", canonical.c_str());
        } catch (const std::exception&) {
        }
        it = cache.emplace(canonical, std::move(c)).first;
    }
    return it->second.get();
}

bool IsSjisLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsSjisTrail(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Which two-byte codes CP932 holds, asked of iconv once per thread.
class Cp932Pairs {
  public:
    explicit Cp932Pairs(const IconvConverter& c) : valid_(65536, false) {
        char pair[2];
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsSjisLead(static_cast<std::uint8_t>(lead))) continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                pair[0] = static_cast<char>(lead);
                pair[1] = static_cast<char>(trail);
                valid_[lead << 8 | trail] = c.Convert(std::string_view(pair, 2), "", 1).size() >= 2;
            }
        }
    }
    bool Valid(std::uint8_t lead, std::uint8_t trail) const { return valid_[lead << 8 | trail]; }

  private:
    std::vector<bool> valid_;
};

// CP932 to UTF-8 where a two-byte code CP932 does not hold (carrier emoji rows, for one) is one U+FFFD,
// not U+FFFD plus its second byte read as a character of its own.
std::string Cp932ToUtf8Lossless(std::string_view sjis) {
    const IconvConverter* c = ConverterTo8("CP932");
    if (c == nullptr) return std::string(sjis);
    thread_local const Cp932Pairs pairs(*c);
    std::string out;
    std::size_t run = 0;
    for (std::size_t i = 0; i < sjis.size();) {
        const auto lead = static_cast<std::uint8_t>(sjis[i]);
        if (!IsSjisLead(lead)) {
            ++i;
            continue;
        }
        const bool has_trail = i + 1 < sjis.size() && IsSjisTrail(static_cast<std::uint8_t>(sjis[i + 1]));
        if (has_trail && pairs.Valid(lead, static_cast<std::uint8_t>(sjis[i + 1]))) {
            i += 2;
            continue;
        }
        out += c->Convert(sjis.substr(run, i - run), kReplacementUtf8, 1);
        out += kReplacementUtf8;
        i += has_trail ? 2 : 1;
        run = i;
    }
    if (run == 0) return c->Convert(sjis, kReplacementUtf8, 1);
    out += c->Convert(sjis.substr(run), kReplacementUtf8, 1);
    return out;
}

// ISO-2022-JP as mail programs write it: JIS X 0208 pairs (with the CP932 rows) go through their Shift_JIS
// form, ESC "(I" announces half-width katakana. Nothing when other sets (JIS X 0212, 0213, ISO-2022-JP-2's
// Chinese and Korean) are announced: iconv reads those.
std::optional<std::string> Iso2022JpToUtf8(std::string_view text) {
    enum class Mode { kAscii, kKanji, kKatakana } mode = Mode::kAscii;
    std::string sjis;
    sjis.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c == 0x1B) {
            const std::string_view esc = text.substr(i + 1, 2);
            if (esc == "$B" || esc == "$@") {
                mode = Mode::kKanji;
            } else if (esc == "(B" || esc == "(J") {
                mode = Mode::kAscii;
            } else if (esc == "(I") {
                mode = Mode::kKatakana;
            } else {
                return std::nullopt;
            }
            i += 3;
            continue;
        }
        if (c == '\r' || c == '\n') mode = Mode::kAscii;  // each line starts in ASCII
        if (mode == Mode::kKanji && c > 0x20 && c < 0x7F) {
            if (i + 1 >= text.size() || static_cast<std::uint8_t>(text[i + 1]) <= 0x20) {
                sjis += '?';
                ++i;
                continue;
            }
            const CodePair p = JisPairToSjis(c, static_cast<std::uint8_t>(text[i + 1]) & 0x7F);
            sjis += static_cast<char>(p.first);
            sjis += static_cast<char>(p.second);
            i += 2;
            continue;
        }
        if (mode == Mode::kKatakana && c > 0x20 && c < 0x60) {
            sjis += static_cast<char>(c + 0x80);
        } else {
            sjis += static_cast<char>(c);
        }
        ++i;
    }
    return Cp932ToUtf8Lossless(sjis);
}

}  // namespace

std::string CanonicalCharset(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '"')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"')) name.remove_suffix(1);
    if (std::size_t star = name.find('*'); star != std::string_view::npos) name = name.substr(0, star);
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const auto& [alias, canonical] : kAliases) {
        if (upper == alias) return std::string(canonical);
    }
    return upper;
}

std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string canonical = CanonicalCharset(charset);
    if (canonical.empty() || canonical.find('/') != std::string::npos) return std::nullopt;
    if (canonical == "UTF-8") {
        if (IsValidUtf8(bytes)) return std::string(bytes);
    } else if (AsciiCompatible(canonical) && IsPlainAscii(bytes)) {
        if (ConverterTo8(canonical) == nullptr) return std::nullopt;
        return std::string(bytes);
    } else if (canonical.starts_with("ISO-2022-JP")) {
        if (auto text = Iso2022JpToUtf8(bytes)) return text;
        std::string wider = canonical;
        if (canonical == "ISO-2022-JP") {
            const bool jis_x0213 = bytes.find("\x1b$(O") != std::string_view::npos ||
                                   bytes.find("\x1b$(Q") != std::string_view::npos ||
                                   bytes.find("\x1b$(P") != std::string_view::npos;
            wider = jis_x0213 ? "ISO-2022-JP-3" : "ISO-2022-JP-2";
        }
        const IconvConverter* c = ConverterTo8(wider);
        if (c == nullptr) return std::nullopt;
        return c->Convert(bytes, kReplacementUtf8, 1);
    }
    if (canonical == "CP932") return Cp932ToUtf8Lossless(bytes);
    const IconvConverter* c = ConverterTo8(canonical);
    if (c == nullptr) return std::nullopt;
    return c->Convert(bytes, kReplacementUtf8, 1);
}

std::string GuessToUtf8(std::string_view bytes) {
    // JIS text is 7-bit and so valid UTF-8 too: its escape decides first.
    if (bytes.find("\x1b$") != std::string_view::npos) return *CharsetToUtf8(bytes, "ISO-2022-JP");
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp932ToUtf8Lossless(bytes);
}

std::string TextToUtf8(std::string_view bytes, std::string_view charset) {
    // A pure 7-bit text may still be ISO-2022-JP under a wrong or missing label.
    const bool has_escape = bytes.find('\x1b') != std::string_view::npos;
    if (!charset.empty() && !(has_escape && CanonicalCharset(charset) == "WINDOWS-1252")) {
        if (auto text = CharsetToUtf8(bytes, charset)) return std::move(*text);
    }
    return GuessToUtf8(bytes);
}

}  // namespace mailcore
