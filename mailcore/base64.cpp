#include "mailcore/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace mailcore {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint32_t kInvalid = 255;

// Each character's six-bit value (255 outside the alphabet) pre-shifted to its place in a group, so a group
// is four lookups and three ORs. 255 spills into the neighbouring byte exactly as the byte formulas
// X = A << 2 | B >> 4, Y = B << 4 | C >> 2, Z = C << 6 | D do once cut to 8 bits. Bits 31 and 30 flag an
// invalid third and fourth character.
struct Tables {
    std::array<std::uint32_t, 256> a{}, b{}, c{}, d{};
};

constexpr Tables MakeTables() {
    Tables t;
    std::array<std::uint32_t, 256> value{};
    value.fill(kInvalid);
    for (size_t i = 0; i < kAlphabet.size(); ++i) value[static_cast<std::uint8_t>(kAlphabet[i])] = i;
    for (int ch = 0; ch < 256; ++ch) {
        const std::uint32_t v = value[ch];
        t.a[ch] = v << 18;
        t.b[ch] = v << 12;
        t.c[ch] = v << 6 | (v == kInvalid ? 1u << 31 : 0);
        t.d[ch] = v | (v == kInvalid ? 1u << 30 : 0);
    }
    return t;
}

constexpr Tables kTables = MakeTables();
constexpr std::uint32_t kThirdInvalid = 1u << 31;
constexpr std::uint32_t kFourthInvalid = 1u << 30;

inline std::uint32_t Group(const std::uint8_t* s) {
    return kTables.a[s[0]] | kTables.b[s[1]] | kTables.c[s[2]] | kTables.d[s[3]];
}

// Writes the group's bytes and returns how many count: 3, or fewer when the third or fourth character is
// outside the alphabet. Always stores three bytes, so the buffer keeps room for them.
inline size_t PutGroup(std::uint8_t* o, std::uint32_t g) {
    o[0] = static_cast<std::uint8_t>(g >> 16);
    o[1] = static_cast<std::uint8_t>(g >> 8);
    o[2] = static_cast<std::uint8_t>(g);
    if ((g & (kThirdInvalid | kFourthInvalid)) == 0) return 3;
    if ((g & kThirdInvalid) == 0) return 2;  // only the fourth is invalid
    return (g & kFourthInvalid) ? 1 : 3;
}

// The groups to decode: floor(length / 4), but none wholly past the end of the text, so a length larger
// than the text allocates nothing for it.
size_t Groups(std::string_view text, size_t length) { return std::min(length / 4, (text.size() + 3) / 4); }

// Decodes into `out` (room for groups * 3 bytes); returns the count.
size_t Decode(std::string_view text, size_t length, std::uint8_t* out) {
    const size_t groups = Groups(text, length);
    const size_t whole = std::min(groups, text.size() / 4);
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    std::uint8_t* o = out;
    for (size_t i = 0; i < whole; ++i, s += 4) o += PutGroup(o, Group(s));
    if (whole < groups) {
        std::uint8_t tail[4] = {0, 0, 0, 0};  // zero is outside the alphabet
        std::memcpy(tail, s, text.size() - whole * 4);
        o += PutGroup(o, Group(tail));
    }
    return static_cast<size_t>(o - out);
}

}  // namespace

std::string Base64DecodeText(std::string_view text, size_t length) {
    if (length % 3 != 0) return {};
    std::string out(Groups(text, length) * 3 + 2, '\0');
    const size_t count = Decode(text, length, reinterpret_cast<std::uint8_t*>(out.data()));
    const void* zero = std::memchr(out.data(), 0, count);
    out.resize(zero ? static_cast<size_t>(static_cast<const char*>(zero) - out.data()) : count);
    return out;
}

std::optional<Bytes> Base64DecodeBytes(std::string_view text, size_t length) {
    if (length % 3 != 0) return std::nullopt;
    Bytes out(Groups(text, length) * 3 + 2);
    out.resize(Decode(text, length, out.data()));
    return out;
}

}  // namespace mailcore
