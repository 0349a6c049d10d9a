#pragma once
// POP3 command lines and the reading of reply lines: pure text work, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inlark {

enum class Pop3Word {
    kUser,
    kPass,
    kStat,
    kList,
    kRetr,
    kDele,
    kNoop,
    kRset,
    kQuit,
    kTop,
    kLast,
    kUidl,
    kStls
};

// One entry of STAT or LIST.
struct ListEntry {
    std::int32_t number = 0;
    std::int32_t size = 0;     // octets
    std::uint64_t octets = 0;  // the same, whole: sizes beyond 32 bits
};

// One entry of UIDL: the id as received, its line end included.
struct UidEntry {
    std::int32_t number = 0;
    std::string id;
};

// An id keeps at most this many bytes, as a 256-byte field would.
inline constexpr std::size_t kMaxIdLength = 255;

std::string CommandLine(Pop3Word word);
std::string CommandLine(Pop3Word word, std::int32_t number);
std::string CommandLine(Pop3Word word, std::int32_t number, std::int32_t lines);
std::string CommandLine(Pop3Word word, std::string_view text);

std::string DecimalText(std::int32_t number);

// A reply is positive when it begins with "+OK"; anything else is a failure.
[[nodiscard]] bool IsPositive(std::string_view reply);

// A SASL continuation: "+" then a space or the line end, never "+OK".
[[nodiscard]] bool IsContinuation(std::string_view reply);

// The SASL PLAIN response (RFC 4616) in base64, without a line end: no authorization identity, then the
// user name and the password, each after a NUL.
[[nodiscard]] std::string PlainResponse(std::string_view user, std::string_view password);

// The decimal number at the start of `text` after leading white space, as atoi reads it; 0 when there is
// none. Values beyond 32 bits saturate.
[[nodiscard]] std::int32_t LeadingNumber(std::string_view text);

// The decimal number at the start of `text` after leading white space, whole; 0 when there is none or
// it is beyond 64 bits.
[[nodiscard]] std::uint64_t LeadingSize(std::string_view text);

// "+OK n m": n read one character after "+OK", m after the next space from the fifth byte on. Nothing when
// the line ends (CR) before that space.
[[nodiscard]] std::optional<ListEntry> ParseTwoNumbers(std::string_view reply);
// "+OK n id": n as above, the id is the rest of the line after the space, line end included.
[[nodiscard]] std::optional<UidEntry> ParseNumberAndId(std::string_view reply);

// A line of a multi-line listing: the number at its start, the size or id after the first space (0 or
// an empty id when the line has no space).
[[nodiscard]] ListEntry ParseSizeLine(std::string_view line);
[[nodiscard]] UidEntry ParseIdLine(std::string_view line);
// The line that holds a single dot and ends a listing.
[[nodiscard]] bool IsEndLine(std::string_view line);

}  // namespace inlark
