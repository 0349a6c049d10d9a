#include "mailcore/connection_point.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace mailcore {
namespace {

// Records what it hears and then runs an optional action, as a host's handler would.
struct Sink {
    void EndOfCommand(std::int32_t status) {
        heard.push_back(status);
        if (action) action();
    }
    std::vector<std::int32_t> heard;
    std::function<void()> action;
};

TEST(ConnectionPoint, NullSinkGetsNoCookieAndIsNotConnected) {
    ConnectionPoint<Sink> point;
    EXPECT_EQ(point.Advise(nullptr), 0);
    EXPECT_TRUE(point.empty());
    point.Deliver(1);  // nothing to call
}

TEST(ConnectionPoint, CookiesAreUniqueAndNotReused) {
    ConnectionPoint<Sink> point;
    Sink sinks[4];
    std::set<std::int32_t> cookies;
    for (Sink& sink : sinks) {
        std::int32_t cookie = point.Advise(&sink);
        EXPECT_GT(cookie, 0);
        cookies.insert(cookie);
    }
    EXPECT_EQ(cookies.size(), 4u);

    point.Unadvise(*cookies.begin());
    Sink later;
    std::int32_t cookie = point.Advise(&later);
    EXPECT_EQ(cookies.count(cookie), 0u);
}

TEST(ConnectionPoint, SinkAdvisedTwiceKeepsItsCookieAndHearsOnce) {
    ConnectionPoint<Sink> point;
    Sink sink;
    std::int32_t cookie = point.Advise(&sink);
    EXPECT_EQ(point.Advise(&sink), cookie);
    point.Deliver(1);
    EXPECT_EQ(sink.heard, std::vector<std::int32_t>{1});
    point.Unadvise(cookie);
    EXPECT_TRUE(point.empty());
}

TEST(ConnectionPoint, UnknownCookieChangesNothing) {
    ConnectionPoint<Sink> point;
    Sink sink;
    std::int32_t cookie = point.Advise(&sink);
    point.Unadvise(0);
    point.Unadvise(cookie + 1);
    point.Deliver(0);
    EXPECT_EQ(sink.heard, std::vector<std::int32_t>{0});
}

// Changes made from inside a handler, in both orders of advising.
TEST(ConnectionPoint, HandlersMayChangeTheSinks) {
    struct Row {
        const char* name;
        bool handlerFirst;   // the sink whose handler acts was advised first
        bool removesItself;  // else it removes the other sink
        std::vector<std::int32_t> actorHeard;
        std::vector<std::int32_t> otherHeard;
    };
    const Row rows[] = {
        {"removes itself, advised first", true, true, {1}, {1, 0}},
        {"removes itself, advised last", false, true, {1}, {1, 0}},
        {"removes a later sink before it is called", true, false, {1, 0}, {}},
        {"removes an earlier sink after it was called", false, false, {1, 0}, {1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ConnectionPoint<Sink> point;
        Sink actor;
        Sink other;
        std::int32_t actorCookie = 0;
        std::int32_t otherCookie = 0;
        if (row.handlerFirst) {
            actorCookie = point.Advise(&actor);
            otherCookie = point.Advise(&other);
        } else {
            otherCookie = point.Advise(&other);
            actorCookie = point.Advise(&actor);
        }
        actor.action = [&] { point.Unadvise(row.removesItself ? actorCookie : otherCookie); };
        point.Deliver(1);
        point.Deliver(0);
        EXPECT_EQ(actor.heard, row.actorHeard);
        EXPECT_EQ(other.heard, row.otherHeard);
    }
}

TEST(ConnectionPoint, SinkAdvisedInsideAHandlerHearsFromTheNextEvent) {
    ConnectionPoint<Sink> point;
    Sink first;
    Sink added;
    std::int32_t addedCookie = 0;
    first.action = [&] {
        if (addedCookie == 0) addedCookie = point.Advise(&added);
    };
    (void)point.Advise(&first);
    point.Deliver(1);
    point.Deliver(0);
    EXPECT_EQ(first.heard, (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(added.heard, std::vector<std::int32_t>{0});
}

}  // namespace
}  // namespace mailcore
