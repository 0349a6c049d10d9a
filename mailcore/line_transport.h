#pragma once
// The seam between the protocol engines and the connection: the POP3 and SMTP state machines send lines and
// read replies through this interface only, so they do not care what carries the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailcore/failure.h"

namespace mailcore {

// How a reply is read.
enum class ReplyMode : std::int32_t {
    OneLine = 0,          // ends with the first complete line (ending in LF)
    UntilTerminator = 1,  // ends when the data read so far ends with the terminator
    // Ends with a complete line of more than 3 bytes whose first byte is neither space nor TAB and whose
    // fourth byte is a space: a POP3 positive reply or a final SMTP reply line.
    UntilFinalLine = 2,
    // As UntilFinalLine, and also ends with a complete line that begins with "-ERR": a POP3 greeting that
    // refuses the session is known at once instead of after the time-out.
    UntilFinalOrRefusal = 3,
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

    // Why the last SendText or ReadReply failed (kind None after a success): TimedOut, Closed, Cancelled,
    // ReplyTooLong, NotConnected or Io. The detail and reply are left to the engine, which knows the command.
    [[nodiscard]] virtual const Failure& LastFailure() const = 0;
};

}  // namespace mailcore
