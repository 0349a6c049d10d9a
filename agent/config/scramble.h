#pragma once
// The light scrambling of the stored account data and unlock password. It hides the values from a
// glance at the file; it is not encryption.
//
// Texts are CP932 bytes on both sides: the arithmetic works on Shift_JIS character codes, and the
// scrambled bytes go to the INI file as they are.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "agent/config/random_source.h"

namespace mirelo {

inline constexpr std::int16_t kMireloKeyScrambleKey = 4021;
inline constexpr std::int16_t kUnlockPasswordScrambleKey = 1342;
inline constexpr std::int16_t kSmtpPasswdScrambleKey = 2413;

// A length character ("A" + n), each character shifted by the key's decimal digits in turn, then
// filler from "A" to "}" up to 42 characters in all.
[[nodiscard]] std::string ScrambleText(std::string_view text, std::int16_t key, RandomSource& random);

// Inverse of ScrambleText; filler is ignored. Never fails: a shifted code that gives no character is
// skipped and a text shorter than its length character promises gives what it holds. The length
// character is always taken as the first byte, so lengths above 61 (whose length byte is 0x7F or
// above) survive as well.
[[nodiscard]] std::string UnscrambleText(std::string_view text, std::int16_t key);

// Index of the first character of `text` that does not come back from the file once scrambled: its
// shifted code turns into a lead byte that swallows the next byte ("~" shifted by 4, half-width
// katakana near the end of their range), into a line break or NUL (control characters, a double-byte
// code carried into a trail byte of 0), or into a pair whose lead byte is no longer one. Nothing when
// all come back. Bytes such as 0x7F are kept by our reader and writer and are no problem here.
[[nodiscard]] std::optional<std::size_t> FirstUnstorableScrambledChar(std::string_view text,
                                                                      std::int16_t key);

}  // namespace mirelo
