#pragma once
// The bytes under a mail connection: connect, read, write and wait, with nothing known about lines or
// protocols. The plain TCP stream is one implementation; a TLS stream (started at once, or upgraded from a
// plain one by StartTls) and the scripted fake of the tests are others. The line reader (MailSocket) sits
// on top and owns the read-ahead, so an upgrade can throw away what was read before the handshake.
//
// Threads: one thread at a time uses a stream. Cancel may be called from any thread at any time; Open and
// Close only when no other thread is inside the stream.

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mailcore/failure.h"

namespace mailcore {

using StreamClock = std::chrono::steady_clock;

// How names and addresses are looked up; replaceable so tests stay off the network.
struct Resolver {
    // Addresses for a host name, in the resolver's order; empty when the name is unknown.
    std::function<std::vector<sockaddr_storage>(const std::string& host)> lookUp;
    // Whether the address has a reverse (address to name) entry.
    std::function<bool(const sockaddr_storage& address)> hasReverseEntry;
};
// getaddrinfo and getnameinfo.
[[nodiscard]] Resolver SystemResolver();

// How the host text of an endpoint is turned into an address.
enum class AddressRule : std::int32_t {
    // Looked up; the first IPv4 address, else the first IPv6 one.
    kName = 0,
    // A numeric address that must have a reverse entry; anything else fails without a connection attempt.
    kAddress = 1,
    // A numeric address as kAddress, anything else as kName.
    kEither = 2,
};

struct Endpoint {
    std::string host;  // as the caller gave it (a TLS stream checks the server's certificate against it)
    std::int32_t port = 0;
    AddressRule rule = AddressRule::kName;
};

// "host:port", "[v6]:port" for a numeric IPv6 host: the detail of a connect failure.
[[nodiscard]] std::string EndpointText(const Endpoint& endpoint);

// What one stream operation came to. Kind None is success; otherwise TimedOut, Closed, Cancelled,
// ConnectRefused, Resolve or Io (with the errno).
struct StreamStatus {
    FailureKind kind = FailureKind::None;
    int systemError = 0;

    [[nodiscard]] bool Ok() const { return kind == FailureKind::None; }
    explicit operator bool() const { return Ok(); }
};

class ByteStream {
  public:
    enum class Direction { kRead, kWrite };

    virtual ~ByteStream() = default;

    // Closes any connection, clears a cancel and readies the stream for a new connection. False when it
    // cannot be readied (the means to wake a wait on cancel could not be made).
    [[nodiscard]] virtual bool Open() = 0;
    // Closes the connection and clears a cancel. Safe without a connection.
    virtual void Close() = 0;
    [[nodiscard]] virtual bool IsConnected() const = 0;

    // Resolves and connects; the wait for the connection to come up ends at `deadline` (the name look-up is
    // the system's and not bounded by it). Any previous connection is closed first.
    [[nodiscard]] virtual StreamStatus Connect(const Endpoint& endpoint,
                                               StreamClock::time_point deadline) = 0;

    // Never waits. Reads up to `size` bytes into `buffer`: `received` > 0 with success; `received` 0 with
    // success means nothing is there yet (wait for kRead); Closed when the peer ended the stream.
    [[nodiscard]] virtual StreamStatus Read(char* buffer, std::size_t size, std::size_t& received) = 0;
    // Never waits. Writes up to `size` bytes: `sent` may be less than `size`, and 0 with success means no
    // room yet (wait for kWrite).
    [[nodiscard]] virtual StreamStatus Write(const char* data, std::size_t size, std::size_t& sent) = 0;
    // Waits until a Read or Write can make progress, at most `timeoutMs` (0: just look). TimedOut, or
    // Cancelled as soon as Cancel is called, or the failure of the wait itself.
    [[nodiscard]] virtual StreamStatus Wait(Direction direction, std::int32_t timeoutMs) = 0;
    // Bytes a Read would return now without waiting (a hint: 0 when unknown).
    [[nodiscard]] virtual std::size_t Pending() = 0;

    // Turns the connected stream into a TLS one for `host`. Bytes the line reader already holds must be
    // discarded by the caller before. The plain stream cannot: Io with ENOTSUP.
    [[nodiscard]] virtual StreamStatus StartTls(const std::string& host) = 0;

    // Makes every current and later wait (and connect) fail with Cancelled, until Open or Close. Safe from
    // any thread.
    virtual void Cancel() = 0;
    [[nodiscard]] virtual bool IsCancelled() const = 0;
};

}  // namespace mailcore
