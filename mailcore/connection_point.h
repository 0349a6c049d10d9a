#pragma once
// The sinks a component raises its events on. Lives on the host's thread only: Advise, Unadvise and
// Deliver are not locked.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace mailcore {

template <typename Sink>
class ConnectionPoint {
  public:
    // A cookie for Unadvise, > 0; 0 for a null sink. A sink that is already connected keeps its cookie,
    // so it hears each event once.
    [[nodiscard]] std::int32_t Advise(Sink* sink) {
        if (sink == nullptr) return 0;
        auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [&](const Connection& c) { return c.sink == sink; });
        if (found != connections_.end()) return found->cookie;
        std::int32_t cookie = NextFreeCookie();
        connections_.push_back({cookie, sink});
        return cookie;
    }

    // An unknown cookie is ignored.
    void Unadvise(std::int32_t cookie) {
        std::erase_if(connections_, [&](const Connection& c) { return c.cookie == cookie; });
    }

    // Calls EndOfCommand on every sink connected when the call began, in the order they were advised. A
    // handler may advise or unadvise (itself or another sink): one that was removed is not called again,
    // one that was added hears from the next event on.
    void Deliver(std::int32_t status) {
        const std::vector<Connection> snapshot = connections_;
        for (const Connection& connection : snapshot) {
            if (IsConnected(connection.cookie)) connection.sink->EndOfCommand(status);
        }
    }

    [[nodiscard]] bool empty() const { return connections_.empty(); }

  private:
    struct Connection {
        std::int32_t cookie;
        Sink* sink;
    };

    [[nodiscard]] bool IsConnected(std::int32_t cookie) const {
        return std::any_of(connections_.begin(), connections_.end(),
                           [&](const Connection& c) { return c.cookie == cookie; });
    }

    // Cookies are not reused while the count lasts, so a stale one cannot remove a newer sink.
    std::int32_t NextFreeCookie() {
        std::int32_t cookie = 0;
        do {
            cookie = nextCookie_;
            nextCookie_ = nextCookie_ == std::numeric_limits<std::int32_t>::max() ? 1 : nextCookie_ + 1;
        } while (IsConnected(cookie));
        return cookie;
    }

    std::vector<Connection> connections_;
    std::int32_t nextCookie_ = 1;
};

}  // namespace mailcore
