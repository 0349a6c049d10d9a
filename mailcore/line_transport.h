#pragma once
// The seam between the protocol engines and the connection: a protocol state machine sends lines and
// reads replies through this interface only, so it does not care what carries the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailcore {

// How a reply is read.
enum class ReplyMode : std::int32_t {
    OneLine = 0,          // ends with the first complete line (ending in LF)
    UntilTerminator = 1,  // ends when the data read so far ends with the terminator
    // Ends with a complete line of more than 3 bytes whose first byte is neither space nor TAB and whose
    // fourth byte is a space: a POP3 positive reply or a final SMTP reply line.
    UntilFinalLine = 2,
};

class LineTransport {
  public:
    virtual ~LineTransport() = default;

    // Sends all of `text`. The byte count on success; -1 (SOCKET_ERROR) or 0 when a send failed.
    [[nodiscard]] virtual std::int32_t SendText(std::string_view text) = 0;

    // Reads one reply into `reply`, every byte received kept, line ends and terminator included.
    // `capacity` 0: the reply must stay below the reply limit (10 MiB by default). `capacity` n > 0 stands
    // for a caller buffer of n bytes: the reply must stay below n - 1 bytes, and on failure `reply` keeps
    // what arrived, as such a buffer would; with capacity 0 a failure leaves `reply` empty.
    [[nodiscard]] virtual bool ReadReply(std::string& reply, ReplyMode mode, std::string_view terminator = {},
                                         std::size_t capacity = 0) = 0;
};

}  // namespace mailcore
