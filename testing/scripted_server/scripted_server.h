#pragma once
// A loopback server that plays a script against one client connection at a time, for protocol tests of
// any line protocol. Every accepted connection runs the whole script from its first step; what each
// connection received is recorded byte for byte.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scripted {

using Milliseconds = std::chrono::milliseconds;

class Script {
  public:
    // Sends `text`. `cuts` are byte offsets where the text is split into separately sent segments
    // (TCP_NODELAY is on, so each segment leaves as its own packet); `gap` is the pause between segments.
    Script& Reply(std::string text, std::vector<std::size_t> cuts = {}, Milliseconds gap = Milliseconds(0));
    // Sends `text` one byte per segment.
    Script& ReplyBytewise(std::string text, Milliseconds gap = Milliseconds(0));
    // Reads one line (up to and including LF) and compares it with `line`, which must hold its line end.
    Script& Expect(std::string line);
    // Reads one line whatever it holds.
    Script& ExpectAnyLine();
    // Reads lines whatever they hold, up to and including one equal to `line` (an SMTP message's ".").
    Script& ExpectThrough(std::string line);
    Script& Delay(Milliseconds pause);
    // Closes the connection at once; the remaining steps are skipped.
    Script& Drop();
    // Never answers again: keeps reading until the client closes or the server stops.
    Script& Silence();
    // Sends `count` bytes of `fill`, with CR LF after every `lineLength` bytes when that is not 0.
    Script& Flood(std::size_t count, char fill = 'x', std::size_t lineLength = 0);

    struct Step {
        enum class Kind { kReply, kExpect, kExpectAny, kExpectThrough, kDelay, kDrop, kSilence, kFlood } kind;
        std::string text;
        std::vector<std::size_t> cuts;
        Milliseconds pause{0};
        std::size_t count = 0;
        std::size_t lineLength = 0;
    };
    const std::vector<Step>& Steps() const { return steps_; }

  private:
    std::vector<Step> steps_;
};

class ScriptedServer {
  public:
    // Listens on 127.0.0.1 at `port` (0: an ephemeral one) and starts serving at once. Throws
    // std::system_error when the port cannot be had.
    explicit ScriptedServer(Script script, std::uint16_t port = 0);
    // Connection i plays scripts[i], and every connection after the last script plays the last one
    // (a client that connects once per message, and one of them meets a fault).
    explicit ScriptedServer(std::vector<Script> scripts, std::uint16_t port = 0);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }

    // Stops accepting; a connection in progress gets `grace` to be closed by its client, so what the
    // client sent before closing is recorded. Idempotent.
    void Stop(Milliseconds grace = Milliseconds(500));

    // Waits until `count` connections have ended. False when `timeout` passed first.
    bool WaitForFinished(std::size_t count, Milliseconds timeout = Milliseconds(5000));

    std::size_t Accepted() const;
    std::size_t Finished() const;
    // Everything connection `index` (from 0) received so far.
    std::string Received(std::size_t index = 0) const;
    // Every deviation from the script, as "connection N step M: ...".
    std::vector<std::string> Failures() const;

    // How long an Expect step waits for a line before it fails.
    static constexpr Milliseconds kExpectTimeout{5000};

  private:
    void Serve();
    void RunConnection(int fd, std::size_t index);
    bool ReadLine(int fd, std::size_t index, std::string& line);
    bool SendAll(int fd, std::string_view bytes);
    void DrainUntilClosed(int fd, std::size_t index);
    bool WaitReadable(int fd, Milliseconds timeout);
    void Record(std::size_t index, std::string_view bytes);
    void Fail(std::size_t index, std::size_t step, std::string what);

    std::vector<Script> scripts_;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd: readable once Stop began
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::string pending_;  // bytes read past the last line of an Expect step

    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    std::vector<std::string> received_;
    std::vector<std::string> failures_;
    std::size_t finished_ = 0;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point graceEnd_{};
};

}  // namespace scripted
