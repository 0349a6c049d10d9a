// Throughput of the charset conversions and the base64 decoder on 20 MiB of generated Japanese text,
// each beside its peer: glibc iconv (ISO-2022-JP <-> CP932) and a conventional table-driven base64 decoder.

#include <iconv.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "mailcore/base64.h"
#include "mailcore/jis_sjis.h"

namespace {

constexpr size_t kTextSize = 20u << 20;
constexpr int kRounds = 5;

// Shift_JIS lines of hiragana, katakana, kanji (JIS rows 0x30..0x4E, level 1 less its short last row),
// punctuation and some ASCII words.
std::string MakeJapaneseText() {
    std::mt19937 rng(20);
    std::string text;
    text.reserve(kTextSize + 128);
    auto put = [&text](int row, int cell) {
        const mailcore::CodePair s =
            mailcore::JisPairToSjis(static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell));
        text += static_cast<char>(s.first);
        text += static_cast<char>(s.second);
    };
    while (text.size() < kTextSize) {
        const int characters = 20 + static_cast<int>(rng() % 30);
        for (int i = 0; i < characters; ++i) {
            const unsigned pick = rng() % 100;
            if (pick < 40) {
                put(0x24, 0x21 + static_cast<int>(rng() % 83));
            } else if (pick < 55) {
                put(0x25, 0x21 + static_cast<int>(rng() % 86));
            } else if (pick < 88) {
                put(0x30 + static_cast<int>(rng() % 0x1F), 0x21 + static_cast<int>(rng() % 94));
            } else if (pick < 94) {
                put(0x21, rng() % 2 ? 0x22 : 0x23);
            } else {
                text += " Mirelo 2026 ";
            }
        }
        text += "\r\n";
    }
    text.resize(kTextSize - 2);  // cut at a line end: every line is whole
    text.erase(text.rfind("\r\n") + 2);
    return text;
}

std::string Iconv(iconv_t cd, const std::string& input) {
    std::string out(input.size() * 2 + 64, '\0');
    char* in = const_cast<char*>(input.data());
    size_t in_left = input.size();
    char* o = out.data();
    size_t out_left = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &o, &out_left) == static_cast<size_t>(-1)) {
        std::perror("iconv");
    }
    out.resize(out.size() - out_left);
    return out;
}

std::string Base64Encode(const std::string& data) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        unsigned v = 0;
        for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// The conventional decoder: one table lookup per character, skipping what is outside the alphabet,
// six bits into an accumulator, a byte out whenever eight are there, stop at padding.
std::string ReferenceBase64Decode(const std::string& text) {
    static const std::array<std::int8_t, 256> kValue = [] {
        std::array<std::int8_t, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
        return t;
    }();
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned accumulator = 0;
    int bits = 0;
    for (unsigned char c : text) {
        if (c == '=') break;
        const int v = kValue[c];
        if (v < 0) continue;
        accumulator = accumulator << 6 | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(accumulator >> bits);
        }
    }
    return out;
}

// Best of kRounds, in MiB of input per second.
double Throughput(size_t input_bytes, const std::function<size_t()>& run) {
    double best = 1e30;
    size_t sink = 0;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        sink += run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    if (sink == 42) std::puts("");  // keeps the results alive
    return static_cast<double>(input_bytes) / (1 << 20) / best;
}

void Report(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
}

}  // namespace

int main() {
    const std::string sjis = MakeJapaneseText();
    const std::string jis = mailcore::SjisToJis(sjis);
    iconv_t to_sjis = iconv_open("CP932", "ISO-2022-JP");
    iconv_t to_jis = iconv_open("ISO-2022-JP", "CP932");
    if (to_sjis == reinterpret_cast<iconv_t>(-1) || to_jis == reinterpret_cast<iconv_t>(-1)) {
        std::perror("iconv_open");
        return 1;
    }
    // The peers must do the same work.
    if (Iconv(to_sjis, jis) != sjis || mailcore::JisToSjis(jis) != sjis) {
        std::fputs("JIS -> Shift_JIS results differ from iconv\n", stderr);
        return 1;
    }
    if (Iconv(to_jis, sjis) != jis)
        std::fputs("note: iconv writes other escape sequences than SjisToJis\n", stderr);

    const double jis_to_sjis = Throughput(jis.size(), [&] { return mailcore::JisToSjis(jis).size(); });
    const double jis_to_sjis_iconv = Throughput(jis.size(), [&] { return Iconv(to_sjis, jis).size(); });
    const double sjis_to_jis = Throughput(sjis.size(), [&] { return mailcore::SjisToJis(sjis).size(); });
    const double sjis_to_jis_iconv = Throughput(sjis.size(), [&] { return Iconv(to_jis, sjis).size(); });
    iconv_close(to_sjis);
    iconv_close(to_jis);

    const std::string encoded = Base64Encode(jis);
    const size_t length = (encoded.size() + 2) / 3 * 3;
    if (ReferenceBase64Decode(encoded) != jis || mailcore::Base64DecodeText(encoded, length) != jis) {
        std::fputs("base64 results differ\n", stderr);
        return 1;
    }
    const double base64 =
        Throughput(encoded.size(), [&] { return mailcore::Base64DecodeBytes(encoded, length)->size(); });
    const double base64_reference =
        Throughput(encoded.size(), [&] { return ReferenceBase64Decode(encoded).size(); });

    std::printf("# %zu bytes of Shift_JIS, %zu of ISO-2022-JP, %zu of base64; best of %d runs\n", sjis.size(),
                jis.size(), encoded.size(), kRounds);
    Report("jis_to_sjis", jis_to_sjis, "MiB/s");
    Report("jis_to_sjis_iconv", jis_to_sjis_iconv, "MiB/s");
    Report("sjis_to_jis", sjis_to_jis, "MiB/s");
    Report("sjis_to_jis_iconv", sjis_to_jis_iconv, "MiB/s");
    Report("base64_decode", base64, "MiB/s");
    Report("base64_decode_reference", base64_reference, "MiB/s");
    Report("jis_to_sjis_vs_iconv", jis_to_sjis / jis_to_sjis_iconv, "x");
    Report("sjis_to_jis_vs_iconv", sjis_to_jis / sjis_to_jis_iconv, "x");
    Report("base64_decode_vs_reference", base64 / base64_reference, "x");
    return 0;
}
