#include "mailcore/jis_sjis.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace mailcore {
namespace {

constexpr std::uint8_t kEsc = 0x1B;

// JIS X 0208 codes (row << 8 | cell) of the half-width katakana 0xA1..0xDF: the plain full-width form,
// the form with the voiced sound mark and the form with the semi-voiced sound mark. Where a letter takes
// no mark the marked column repeats the plain form.
struct KanaRow {
    std::uint16_t plain;
    std::uint16_t voiced;
    std::uint16_t semi_voiced;
};

constexpr std::array<KanaRow, 63> kKana = {{
    {0x2123, 0x2123, 0x2123},  // 0xA1 ｡
    {0x2156, 0x2156, 0x2156},  // 0xA2 ｢
    {0x2157, 0x2157, 0x2157},  // 0xA3 ｣
    {0x2122, 0x2122, 0x2122},  // 0xA4 ､
    {0x2126, 0x2126, 0x2126},  // 0xA5 ･
    {0x2572, 0x2572, 0x2572},  // 0xA6 ｦ
    {0x2521, 0x2521, 0x2521},  // 0xA7 ｧ
    {0x2523, 0x2523, 0x2523},  // 0xA8 ｨ
    {0x2525, 0x2525, 0x2525},  // 0xA9 ｩ
    {0x2527, 0x2527, 0x2527},  // 0xAA ｪ
    {0x2529, 0x2529, 0x2529},  // 0xAB ｫ
    {0x2563, 0x2563, 0x2563},  // 0xAC ｬ
    {0x2565, 0x2565, 0x2565},  // 0xAD ｭ
    {0x2567, 0x2567, 0x2567},  // 0xAE ｮ
    {0x2543, 0x2543, 0x2543},  // 0xAF ｯ
    {0x213C, 0x213C, 0x213C},  // 0xB0 ｰ
    {0x2522, 0x2522, 0x2522},  // 0xB1 ｱ
    {0x2524, 0x2524, 0x2524},  // 0xB2 ｲ
    {0x2526, 0x2574, 0x2526},  // 0xB3 ｳ
    {0x2528, 0x2528, 0x2528},  // 0xB4 ｴ
    {0x252A, 0x252A, 0x252A},  // 0xB5 ｵ
    {0x252B, 0x252C, 0x252B},  // 0xB6 ｶ
    {0x252D, 0x252E, 0x252D},  // 0xB7 ｷ
    {0x252F, 0x2530, 0x252F},  // 0xB8 ｸ
    {0x2531, 0x2532, 0x2531},  // 0xB9 ｹ
    {0x2533, 0x2534, 0x2533},  // 0xBA ｺ
    {0x2535, 0x2536, 0x2535},  // 0xBB ｻ
    {0x2537, 0x2538, 0x2537},  // 0xBC ｼ
    {0x2539, 0x253A, 0x2539},  // 0xBD ｽ
    {0x253B, 0x253C, 0x253B},  // 0xBE ｾ
    {0x253D, 0x253E, 0x253D},  // 0xBF ｿ
    {0x253F, 0x2540, 0x253F},  // 0xC0 ﾀ
    {0x2541, 0x2542, 0x2541},  // 0xC1 ﾁ
    {0x2544, 0x2545, 0x2544},  // 0xC2 ﾂ
    {0x2546, 0x2547, 0x2546},  // 0xC3 ﾃ
    {0x2548, 0x2549, 0x2548},  // 0xC4 ﾄ
    {0x254A, 0x254A, 0x254A},  // 0xC5 ﾅ
    {0x254B, 0x254B, 0x254B},  // 0xC6 ﾆ
    {0x254C, 0x254C, 0x254C},  // 0xC7 ﾇ
    {0x254D, 0x254D, 0x254D},  // 0xC8 ﾈ
    {0x254E, 0x254E, 0x254E},  // 0xC9 ﾉ
    {0x254F, 0x2550, 0x2551},  // 0xCA ﾊ
    {0x2552, 0x2553, 0x2554},  // 0xCB ﾋ
    {0x2555, 0x2556, 0x2557},  // 0xCC ﾌ
    {0x2558, 0x2559, 0x255A},  // 0xCD ﾍ
    {0x255B, 0x255C, 0x255D},  // 0xCE ﾎ
    {0x255E, 0x255E, 0x255E},  // 0xCF ﾏ
    {0x255F, 0x255F, 0x255F},  // 0xD0 ﾐ
    {0x2560, 0x2560, 0x2560},  // 0xD1 ﾑ
    {0x2561, 0x2561, 0x2561},  // 0xD2 ﾒ
    {0x2562, 0x2562, 0x2562},  // 0xD3 ﾓ
    {0x2564, 0x2564, 0x2564},  // 0xD4 ﾔ
    {0x2566, 0x2566, 0x2566},  // 0xD5 ﾕ
    {0x2568, 0x2568, 0x2568},  // 0xD6 ﾖ
    {0x2569, 0x2569, 0x2569},  // 0xD7 ﾗ
    {0x256A, 0x256A, 0x256A},  // 0xD8 ﾘ
    {0x256B, 0x256B, 0x256B},  // 0xD9 ﾙ
    {0x256C, 0x256C, 0x256C},  // 0xDA ﾚ
    {0x256D, 0x256D, 0x256D},  // 0xDB ﾛ
    {0x256F, 0x256F, 0x256F},  // 0xDC ﾜ
    {0x2573, 0x2573, 0x2573},  // 0xDD ﾝ
    {0x212B, 0x212B, 0x212B},  // 0xDE ﾞ
    {0x212C, 0x212C, 0x212C},  // 0xDF ﾟ
}};

constexpr std::uint8_t kVoicedMark = 0xDE;
constexpr std::uint8_t kSemiVoicedMark = 0xDF;

constexpr bool TakesVoicedMark(std::uint8_t kana) {
    return kKana[kana - 0xA1].voiced != kKana[kana - 0xA1].plain;
}
constexpr bool TakesSemiVoicedMark(std::uint8_t kana) {
    return kKana[kana - 0xA1].semi_voiced != kKana[kana - 0xA1].plain;
}

static_assert(std::count_if(kKana.begin(), kKana.end(),
                            [](const KanaRow& r) { return r.voiced != r.plain; }) == 21);
static_assert(std::count_if(kKana.begin(), kKana.end(),
                            [](const KanaRow& r) { return r.semi_voiced != r.plain; }) == 5);

// The JIS X 0208 codes CP932 has a character for, as rows and cells: row 0x2D is NEC row 13 and rows
// 0x79..0x7C the NEC-selected IBM rows; rows 0x29..0x2C, 0x2E, 0x2F, 0x75..0x78 (where carriers put their
// emoji), 0x7D and 0x7E are empty.
struct HeldRange {
    std::uint8_t first_row, last_row, first_cell, last_cell;
};

constexpr HeldRange kCp932Held[] = {
    {0x21, 0x21, 0x21, 0x7E}, {0x22, 0x22, 0x21, 0x2E}, {0x22, 0x22, 0x3A, 0x41}, {0x22, 0x22, 0x4A, 0x50},
    {0x22, 0x22, 0x5C, 0x6A}, {0x22, 0x22, 0x72, 0x79}, {0x22, 0x22, 0x7E, 0x7E}, {0x23, 0x23, 0x30, 0x39},
    {0x23, 0x23, 0x41, 0x5A}, {0x23, 0x23, 0x61, 0x7A}, {0x24, 0x24, 0x21, 0x73}, {0x25, 0x25, 0x21, 0x76},
    {0x26, 0x26, 0x21, 0x38}, {0x26, 0x26, 0x41, 0x58}, {0x27, 0x27, 0x21, 0x41}, {0x27, 0x27, 0x51, 0x71},
    {0x28, 0x28, 0x21, 0x40}, {0x2D, 0x2D, 0x21, 0x3E}, {0x2D, 0x2D, 0x40, 0x56}, {0x2D, 0x2D, 0x5F, 0x7C},
    {0x30, 0x4E, 0x21, 0x7E}, {0x4F, 0x4F, 0x21, 0x53}, {0x50, 0x73, 0x21, 0x7E}, {0x74, 0x74, 0x21, 0x26},
    {0x79, 0x7B, 0x21, 0x7E}, {0x7C, 0x7C, 0x21, 0x6E}, {0x7C, 0x7C, 0x71, 0x7E},
};

// JisPairToSjis split into its lead part (row only) and trail part (row parity and cell), so the hot loop
// does two lookups, and one bit per 7-bit code for whether CP932 holds it.
struct JisToSjisTables {
    std::array<std::uint8_t, 128> lead{};
    std::array<std::array<std::uint8_t, 128>, 2> trail{};
    std::array<std::array<std::uint64_t, 2>, 128> held{};

    constexpr bool Held(std::uint8_t j1, std::uint8_t j2) const { return held[j1][j2 >> 6] >> (j2 & 63) & 1; }
};

constexpr JisToSjisTables MakeJisToSjisTables() {
    JisToSjisTables t;
    for (int j = 0; j < 128; ++j) {
        t.lead[j] = JisPairToSjis(static_cast<std::uint8_t>(j), 0x21).first;
        t.trail[0][j] = JisPairToSjis(0x22, static_cast<std::uint8_t>(j)).second;
        t.trail[1][j] = JisPairToSjis(0x21, static_cast<std::uint8_t>(j)).second;
    }
    for (const HeldRange& r : kCp932Held) {
        for (int row = r.first_row; row <= r.last_row; ++row) {
            for (int cell = r.first_cell; cell <= r.last_cell; ++cell) {
                t.held[row][cell >> 6] |= std::uint64_t{1} << (cell & 63);
            }
        }
    }
    return t;
}

constexpr JisToSjisTables kJisToSjis = MakeJisToSjisTables();

// The inverse arithmetic. lead_row: the odd JIS row of a lead byte, 0 when the lead has none in
// 0x21..0x7E. trail_cell: the cell, with 0x80 set when the pair lies in the even row; 0 for an invalid trail.
struct SjisToJisTables {
    std::array<std::uint8_t, 256> lead_row{};
    std::array<std::uint8_t, 256> trail_cell{};
    // 0 other byte, 1 double-byte lead, 2 half-width katakana, 3 a byte written as "?" (NUL, 0x80, 0xA0,
    // 0xFD..0xFF).
    std::array<std::uint8_t, 256> kind{};
};

constexpr SjisToJisTables MakeSjisToJisTables() {
    SjisToJisTables t;
    for (int b = 0; b < 256; ++b) {
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            t.kind[b] = 1;
            const int index = b <= 0x9F ? b - 0x81 : b - 0xC1;
            const int row = index * 2 + 0x21;
            t.lead_row[b] = row + 1 <= 0x7E ? static_cast<std::uint8_t>(row) : 0;
        } else if (b >= 0xA1 && b <= 0xDF) {
            t.kind[b] = 2;
        } else if (b == 0 || b >= 0x80) {
            t.kind[b] = 3;
        }
        if (b >= 0x40 && b <= 0x9E && b != 0x7F) {
            t.trail_cell[b] = static_cast<std::uint8_t>(b < 0x7F ? b - 0x1F : b - 0x20);
        } else if (b >= 0x9F && b <= 0xFC) {
            t.trail_cell[b] = static_cast<std::uint8_t>((b - 0x7E) | 0x80);
        }
    }
    return t;
}

constexpr SjisToJisTables kSjisToJis = MakeSjisToJisTables();

// CP932 keeps the IBM extension rows (leads 0xFA..0xFC) twice: as NEC-selected rows 0xED/0xEE, plus a few
// signs in NEC row 13 and row 2. ISO-2022-JP carries only those copies, so the IBM codes are moved there.
constexpr int kIbmKanjiFirst = 28;      // 0xFA5C, the first kanji, counted in trail bytes from 0xFA40
constexpr int kIbmLast = 2 * 188 + 11;  // 0xFC4B
constexpr std::uint16_t kIbmSigns[kIbmKanjiFirst] = {
    0xEEEF, 0xEEF0, 0xEEF1, 0xEEF2, 0xEEF3, 0xEEF4, 0xEEF5, 0xEEF6, 0xEEF7, 0xEEF8,  // small roman numerals
    0x8754, 0x8755, 0x8756, 0x8757, 0x8758, 0x8759, 0x875A, 0x875B, 0x875C, 0x875D,  // roman numerals
    0x81CA, 0xEEFA, 0xEEFB, 0xEEFC, 0x878A, 0x8782, 0x8784, 0x81E6,
};

// Trail bytes 0x40..0xFC without 0x7F, counted from 0.
constexpr int TrailOrdinal(std::uint8_t trail) { return trail - 0x40 - (trail > 0x7F ? 1 : 0); }

// The NEC-selected or row-2 code CP932 gives for an IBM extension code; {0, 0} outside the rows.
constexpr CodePair IbmToNecSelected(std::uint8_t lead, std::uint8_t trail) {
    const int ordinal = (lead - 0xFA) * 188 + TrailOrdinal(trail);
    if (ordinal > kIbmLast) return {0, 0};
    if (ordinal < kIbmKanjiFirst) {
        return {static_cast<std::uint8_t>(kIbmSigns[ordinal] >> 8),
                static_cast<std::uint8_t>(kIbmSigns[ordinal])};
    }
    const int k = ordinal - kIbmKanjiFirst;
    const int t = k % 188;
    return {static_cast<std::uint8_t>(0xED + k / 188),
            static_cast<std::uint8_t>(0x40 + t + (t >= 0x3F ? 1 : 0))};
}

static_assert(IbmToNecSelected(0xFA, 0x5C).first == 0xED && IbmToNecSelected(0xFA, 0x5C).second == 0x40);
static_assert(IbmToNecSelected(0xFC, 0x4B).first == 0xEE && IbmToNecSelected(0xFC, 0x4B).second == 0xEC);
static_assert(IbmToNecSelected(0xFC, 0x4C).first == 0);

// Appends to a std::string through a raw cursor; the caller reserves room before each block of writes.
class Output {
  public:
    explicit Output(size_t initial) { buffer_.resize(initial); }

    void Reserve(size_t more) {
        if (buffer_.size() - used_ < more) buffer_.resize(std::max(buffer_.size() * 2, used_ + more));
    }
    std::uint8_t* Cursor() { return reinterpret_cast<std::uint8_t*>(buffer_.data()) + used_; }
    void Advance(std::uint8_t* cursor) { used_ = static_cast<size_t>(cursor - Cursor()) + used_; }
    std::string Take() && {
        buffer_.resize(used_);
        return std::move(buffer_);
    }

  private:
    std::string buffer_;
    size_t used_ = 0;
};

inline std::uint8_t* PutEscape(std::uint8_t* o, std::uint8_t c1, std::uint8_t c2) {
    o[0] = kEsc;
    o[1] = c1;
    o[2] = c2;
    return o + 3;
}

inline std::uint8_t* PutJis(std::uint8_t* o, std::uint16_t code) {
    o[0] = static_cast<std::uint8_t>(code >> 8);
    o[1] = static_cast<std::uint8_t>(code);
    return o + 2;
}

}  // namespace

bool Cp932HoldsJis(std::uint8_t j1, std::uint8_t j2) { return kJisToSjis.Held(j1 & 0x7F, j2 & 0x7F); }

CodePair SjisPairToJis(std::uint8_t lead, std::uint8_t trail) {
    if (lead >= 0xFA && lead <= 0xFC && kSjisToJis.trail_cell[trail] != 0) {
        const CodePair nec = IbmToNecSelected(lead, trail);
        if (nec.first == 0) return {0, 0};
        lead = nec.first;
        trail = nec.second;
    }
    const std::uint8_t row = kSjisToJis.lead_row[lead];
    const std::uint8_t cell = kSjisToJis.trail_cell[trail];
    if (row == 0 || cell == 0) return {0, 0};
    return {static_cast<std::uint8_t>(row + (cell >> 7)), static_cast<std::uint8_t>(cell & 0x7F)};
}

std::string ConvertCharset(std::string_view text, int to, int from) {
    if (from == CharsetShiftJis && to == CharsetIso2022Jp) return SjisToJis(text);
    if (from == CharsetIso2022Jp && to == CharsetShiftJis) return JisToSjis(text);
    return {};
}

std::string JisToSjis(std::string_view text) {
    // Escape sequences vanish and every other byte gives one byte, so the input size bounds the output.
    std::string out(text.size(), '\0');
    auto* o = reinterpret_cast<std::uint8_t*>(out.data());
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* const end = p + text.size();
    enum class Mode { kSingle, kKatakana, kDouble } mode = Mode::kSingle;

    while (p < end) {
        if (*p == kEsc) {
            if (end - p < 2) return {};
            if (p[1] == '$') {
                mode = Mode::kDouble;
            } else if (p[1] == '(') {
                mode = end - p >= 3 && p[2] == 'I' ? Mode::kKatakana : Mode::kSingle;
            } else {
                return {};
            }
            p += std::min<std::ptrdiff_t>(3, end - p);
            continue;
        }
        switch (mode) {
            case Mode::kDouble:
                while (end - p >= 2 && p[0] != kEsc && p[1] != kEsc) {
                    const std::uint8_t j1 = p[0] & 0x7F;
                    const std::uint8_t j2 = p[1] & 0x7F;
                    p += 2;
                    if (!kJisToSjis.Held(j1, j2)) {
                        *o++ = '?';  // one character, one "?": its lead and trail alone would read as two
                        continue;
                    }
                    o[0] = kJisToSjis.lead[j1];
                    o[1] = kJisToSjis.trail[j1 & 1][j2];
                    o += 2;
                }
                if (p < end && *p != kEsc) return {};  // one byte of a pair left before an ESC or the end
                break;
            case Mode::kKatakana:
                for (; p < end && *p != kEsc; ++p) *o++ = *p >= 0x21 && *p <= 0x5F ? *p + 0x80 : *p;
                break;
            case Mode::kSingle: {
                const void* esc = std::memchr(p, kEsc, static_cast<size_t>(end - p));
                const auto* stop = esc ? static_cast<const std::uint8_t*>(esc) : end;
                std::memcpy(o, p, static_cast<size_t>(stop - p));
                o += stop - p;
                p = stop;
                break;
            }
        }
    }
    out.resize(static_cast<size_t>(o - reinterpret_cast<std::uint8_t*>(out.data())));
    return out;
}

std::string SjisToJis(std::string_view text) {
    // Each step reads at least one byte and writes at most five (an escape and a pair); blocks bound the
    // room needed so the loop itself never checks it.
    constexpr size_t kBlock = 4096;
    Output out(text.size() + text.size() / 4 + 16);
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* const end = p + text.size();
    bool double_byte = false;

    while (p < end) {
        const auto* const block_end = p + std::min<size_t>(kBlock, static_cast<size_t>(end - p));
        out.Reserve(static_cast<size_t>(block_end - p) * 5);
        std::uint8_t* o = out.Cursor();
        while (p < block_end) {
            const std::uint8_t c = *p;
            switch (kSjisToJis.kind[c]) {
                case 1: {
                    if (end - p >= 2) {
                        const std::uint8_t row = kSjisToJis.lead_row[c];
                        const std::uint8_t cell = kSjisToJis.trail_cell[p[1]];
                        if (row != 0 && cell != 0) {
                            if (!double_byte) {
                                o = PutEscape(o, '$', 'B');
                                double_byte = true;
                            }
                            o[0] = static_cast<std::uint8_t>(row + (cell >> 7));
                            o[1] = cell & 0x7F;
                            o += 2;
                            p += 2;
                            break;
                        }
                    }
                    // The rare codes: IBM extension rows, and codes with no JIS form.
                    const CodePair jis = end - p >= 2 ? SjisPairToJis(c, p[1]) : CodePair{0, 0};
                    if (jis.first == 0) {
                        // No JIS form: one "?" for the pair, or for the lone lead when the trail is no trail
                        // byte (that byte is then read on its own).
                        if (double_byte) {
                            o = PutEscape(o, '(', 'B');
                            double_byte = false;
                        }
                        *o++ = '?';
                        p += end - p >= 2 && kSjisToJis.trail_cell[p[1]] != 0 ? 2 : 1;
                        break;
                    }
                    if (!double_byte) {
                        o = PutEscape(o, '$', 'B');
                        double_byte = true;
                    }
                    o[0] = jis.first;
                    o[1] = jis.second;
                    o += 2;
                    p += 2;
                    break;
                }
                case 2: {
                    if (!double_byte) {
                        o = PutEscape(o, '$', 'B');
                        double_byte = true;
                    }
                    const KanaRow& row = kKana[c - 0xA1];
                    const std::uint8_t next = end - p >= 2 ? p[1] : 0;
                    if (next == kVoicedMark && TakesVoicedMark(c)) {
                        o = PutJis(o, row.voiced);
                        p += 2;
                    } else if (next == kSemiVoicedMark && TakesSemiVoicedMark(c)) {
                        o = PutJis(o, row.semi_voiced);
                        p += 2;
                    } else {
                        o = PutJis(o, row.plain);
                        p += 1;
                    }
                    break;
                }
                default:
                    if (double_byte) {
                        o = PutEscape(o, '(', 'B');
                        double_byte = false;
                    }
                    // Neither a NUL nor a byte with no character in Shift_JIS may reach a message.
                    *o++ = kSjisToJis.kind[c] == 0 ? c : '?';
                    ++p;
                    break;
            }
        }
        out.Advance(o);
    }
    if (double_byte) {
        out.Reserve(3);
        out.Advance(PutEscape(out.Cursor(), '(', 'B'));
    }
    return std::move(out).Take();
}

}  // namespace mailcore
