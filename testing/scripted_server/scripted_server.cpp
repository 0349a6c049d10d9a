#include "testing/scripted_server/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace scripted {

namespace {

using Clock = std::chrono::steady_clock;

std::string Printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

[[noreturn]] void ThrowSystem(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

Script& Script::Reply(std::string text, std::vector<std::size_t> cuts, Milliseconds gap) {
    std::sort(cuts.begin(), cuts.end());
    steps_.push_back({Step::Kind::kReply, std::move(text), std::move(cuts), gap});
    return *this;
}

Script& Script::ReplyBytewise(std::string text, Milliseconds gap) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < text.size(); ++i) cuts.push_back(i);
    return Reply(std::move(text), std::move(cuts), gap);
}

Script& Script::Expect(std::string line) {
    steps_.push_back(Step{Step::Kind::kExpect, std::move(line), {}});
    return *this;
}

Script& Script::ExpectAnyLine() {
    steps_.push_back(Step{Step::Kind::kExpectAny, {}, {}});
    return *this;
}

Script& Script::ExpectThrough(std::string line) {
    steps_.push_back(Step{Step::Kind::kExpectThrough, std::move(line), {}});
    return *this;
}

Script& Script::Delay(Milliseconds pause) {
    steps_.push_back({Step::Kind::kDelay, {}, {}, pause});
    return *this;
}

Script& Script::Drop() {
    steps_.push_back(Step{Step::Kind::kDrop, {}, {}});
    return *this;
}

Script& Script::Silence() {
    steps_.push_back(Step{Step::Kind::kSilence, {}, {}});
    return *this;
}

Script& Script::Flood(std::size_t count, char fill, std::size_t lineLength) {
    Step step{Step::Kind::kFlood, std::string(1, fill), {}};
    step.count = count;
    step.lineLength = lineLength;
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedServer::ScriptedServer(Script script, std::uint16_t port)
    : ScriptedServer(std::vector<Script>{std::move(script)}, port) {}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, std::uint16_t port)
    : scripts_(std::move(scripts)) {
    if (scripts_.empty()) scripts_.emplace_back();
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) ThrowSystem("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        int saved = errno;
        ::close(listenFd_);
        errno = saved;
        ThrowSystem("listen");
    }
    port_ = ntohs(address.sin_port);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        ::close(listenFd_);
        ThrowSystem("eventfd");
    }
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    Stop(Milliseconds(0));  // nobody reads the recording any more
    ::close(stopFd_);
}

void ScriptedServer::Stop(Milliseconds grace) {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        graceEnd_ = Clock::now() + grace;
    }
    std::uint64_t one = 1;
    if (::write(stopFd_, &one, sizeof one) < 0) {
        // The eventfd cannot be full after one write; nothing sensible is left to do.
    }
    thread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
}

bool ScriptedServer::WaitForFinished(std::size_t count, Milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return finishedChanged_.wait_for(lock, timeout, [&] { return finished_ >= count; });
}

std::size_t ScriptedServer::Accepted() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

std::size_t ScriptedServer::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::string ScriptedServer::Received(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < received_.size() ? received_[index] : std::string();
}

std::vector<std::string> ScriptedServer::Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

void ScriptedServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        // Connections already queued are still served, so Stop never loses what a client sent.
        if (fds[0].revents == 0 && fds[1].revents != 0) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::size_t index;
        {
            std::lock_guard lock(mutex_);
            index = received_.size();
            received_.emplace_back();
        }
        pending_.clear();
        RunConnection(fd, index);
        ::close(fd);
        {
            std::lock_guard lock(mutex_);
            ++finished_;
        }
        finishedChanged_.notify_all();
    }
}

void ScriptedServer::RunConnection(int fd, std::size_t index) {
    const auto& steps = scripts_[std::min(index, scripts_.size() - 1)].Steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Script::Step& step = steps[i];
        switch (step.kind) {
            case Script::Step::Kind::kReply: {
                std::size_t from = 0;
                for (std::size_t cut : step.cuts) {
                    if (cut <= from || cut >= step.text.size()) continue;
                    if (!SendAll(fd, std::string_view(step.text).substr(from, cut - from))) {
                        return Fail(index, i, "client closed during a reply");
                    }
                    from = cut;
                    if (step.pause.count() > 0) std::this_thread::sleep_for(step.pause);
                }
                if (!SendAll(fd, std::string_view(step.text).substr(from))) {
                    return Fail(index, i, "client closed during a reply");
                }
                break;
            }
            case Script::Step::Kind::kExpect:
            case Script::Step::Kind::kExpectAny: {
                std::string line;
                if (!ReadLine(fd, index, line)) {
                    return Fail(index, i,
                                "expected \"" + Printable(step.text) + "\", got \"" + Printable(line) +
                                    "\" and then nothing");
                }
                if (step.kind == Script::Step::Kind::kExpect && line != step.text) {
                    Fail(index, i,
                         "expected \"" + Printable(step.text) + "\", got \"" + Printable(line) + "\"");
                    return DrainUntilClosed(fd, index);
                }
                break;
            }
            case Script::Step::Kind::kExpectThrough: {
                std::string line;
                do {
                    if (!ReadLine(fd, index, line)) {
                        return Fail(index, i,
                                    "expected lines through \"" + Printable(step.text) + "\", got \"" +
                                        Printable(line) + "\" and then nothing");
                    }
                } while (line != step.text);
                break;
            }
            case Script::Step::Kind::kDelay:
                std::this_thread::sleep_for(step.pause);
                break;
            case Script::Step::Kind::kDrop:
                return;
            case Script::Step::Kind::kSilence:
                return DrainUntilClosed(fd, index);
            case Script::Step::Kind::kFlood: {
                std::string chunk;
                std::size_t column = 0;
                while (chunk.size() < 65536) {
                    chunk += step.text[0];
                    if (step.lineLength != 0 && ++column == step.lineLength) {
                        chunk += "\r\n";
                        column = 0;
                    }
                }
                // Chunks are whole lines when lines are asked for, so the pattern repeats exactly.
                if (step.lineLength != 0) chunk.resize(chunk.size() - chunk.size() % (step.lineLength + 2));
                std::size_t left = step.count;
                while (left > 0) {
                    std::size_t n = std::min(left, chunk.size());
                    if (!SendAll(fd, std::string_view(chunk).substr(0, n))) return;  // the client gave up
                    left -= n;
                }
                break;
            }
        }
    }
    DrainUntilClosed(fd, index);
}

bool ScriptedServer::SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ScriptedServer::WaitReadable(int fd, Milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        bool stopping;
        Clock::time_point graceEnd;
        {
            std::lock_guard lock(mutex_);
            stopping = stopped_;
            graceEnd = graceEnd_;
        }
        auto end = stopping ? std::min(deadline, graceEnd) : deadline;
        auto left = std::chrono::duration_cast<Milliseconds>(end - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        int n = ::poll(fds, stopping ? 1 : 2, static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (n < 0 && errno != EINTR) return false;
        if (n > 0 && fds[0].revents != 0) return true;
    }
}

bool ScriptedServer::ReadLine(int fd, std::size_t index, std::string& line) {
    for (;;) {
        auto lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf + 1);
            pending_.erase(0, lf + 1);
            return true;
        }
        if (!WaitReadable(fd, kExpectTimeout)) break;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        Record(index, std::string_view(buffer, static_cast<std::size_t>(n)));
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    line = std::exchange(pending_, {});
    return false;
}

void ScriptedServer::DrainUntilClosed(int fd, std::size_t index) {
    for (;;) {
        if (!WaitReadable(fd, Milliseconds(24 * 3600 * 1000))) return;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        Record(index, std::string_view(buffer, static_cast<std::size_t>(n)));
    }
}

void ScriptedServer::Record(std::size_t index, std::string_view bytes) {
    std::lock_guard lock(mutex_);
    received_[index].append(bytes);
}

void ScriptedServer::Fail(std::size_t index, std::size_t step, std::string what) {
    std::lock_guard lock(mutex_);
    failures_.push_back("connection " + std::to_string(index) + " step " + std::to_string(step) + ": " +
                        std::move(what));
}

}  // namespace scripted
