#include "agent/config/scramble.h"

#include <array>
#include <cmath>

#include "agent/config/sjis_codes.h"

namespace mirelo {
namespace {

constexpr int kCodeA = 'A';
// Values up to 40 characters are padded to this many characters (length character included).
constexpr int kPaddedLength = 40;

std::array<int, 4> KeyDigits(std::int16_t key) {
    return {key / 1000, (key % 1000) / 100, (key % 100) / 10, key % 10};
}

}  // namespace

std::string ScrambleText(std::string_view text, std::int16_t key, RandomSource& random) {
    if (text.empty()) return {};
    const auto digits = KeyDigits(key);
    const std::vector<int> codes = SjisCodes(text);
    const int n = static_cast<int>(codes.size());

    std::string out;
    out.reserve(text.size() + kPaddedLength + 2);
    AppendSjisCode(out, kCodeA + n);
    for (int i = 0; i < n; ++i) AppendSjisCode(out, codes[i] + digits[i % 4]);
    for (int j = n; j <= kPaddedLength; ++j) {
        // Nearest integer, ties to even as the original's conversion rounds.
        AppendSjisCode(out, kCodeA + static_cast<int>(std::nearbyint(random.Next() * 60.0)));
    }
    return out;
}

std::string UnscrambleText(std::string_view text, std::int16_t key) {
    if (text.empty()) return {};
    const auto digits = KeyDigits(key);
    const int n = static_cast<unsigned char>(text[0]) - kCodeA;
    const std::vector<int> codes = SjisCodes(text.substr(1));

    std::string out;
    for (int i = 0; i < n && i < static_cast<int>(codes.size()); ++i) {
        const int code = codes[i] - digits[i % 4];
        if (code < 0 || code > 0xFF) {
            const auto pattern = static_cast<std::uint16_t>(code);
            if (!IsSjisLeadByte(pattern >> 8) || !IsSjisTrailByte(pattern & 0xFF)) continue;
        }
        AppendSjisCode(out, code);
    }
    return out;
}

std::optional<std::size_t> FirstUnstorableScrambledChar(std::string_view text, std::int16_t key) {
    const auto digits = KeyDigits(key);
    const std::vector<int> codes = SjisCodes(text);
    std::string bytes;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        starts.push_back(bytes.size());
        AppendSjisCode(bytes, codes[i] + digits[i % 4]);
    }
    starts.push_back(bytes.size());
    // Filler follows short texts and may pair with a lead byte at the end.
    if (codes.size() <= static_cast<std::size_t>(kPaddedLength)) bytes += 'A';

    // Each shifted character must read back as itself and hold no byte that ends a line or a value.
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::size_t length = starts[i + 1] - starts[i];
        if (SjisCharLength(bytes, starts[i]) != length) return i;
        for (std::size_t pos = starts[i]; pos < starts[i + 1]; ++pos) {
            if (bytes[pos] == '\r' || bytes[pos] == '\n' || bytes[pos] == '\0') return i;
        }
    }
    return std::nullopt;
}

}  // namespace mirelo
