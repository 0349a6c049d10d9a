#include "inlark/pop3_session.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "pop3/pop3_engine.h"

namespace inlark {

namespace {

using mailcore::Failure;
using mailcore::FailureKind;

// How a command reads its answer, which decides what a failure without a record most likely was.
enum class Shape { kConnect, kStatus, kListing, kRetrieval };

std::string WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
}

std::int32_t Milliseconds(std::chrono::milliseconds value) {
    return static_cast<std::int32_t>(std::clamp<std::chrono::milliseconds::rep>(value.count(), 1, INT32_MAX));
}

Failure Refused(FailureKind kind, std::string detail) { return {kind, 0, {}, std::move(detail)}; }

// After these the reply stream is out of step, or gone.
bool BreaksTheConnection(FailureKind kind) {
    switch (kind) {
        case FailureKind::TimedOut:
        case FailureKind::Closed:
        case FailureKind::Cancelled:
        case FailureKind::ReplyTooLong:
        case FailureKind::Io:
            return true;
        default:
            return false;
    }
}

}  // namespace

struct Pop3Session::State {
    Pop3Engine engine;
    std::atomic<bool> cancelled{false};
    std::chrono::milliseconds receiveTimeout{120000};

    // Nothing when `call` gave success; otherwise why it failed.
    std::optional<Failure> Call(const std::string& command, Shape shape,
                                const std::function<std::int32_t()>& call) {
        const bool wasConnected = engine.IsConnected();
        engine.ForgetFailure();
        const auto started = std::chrono::steady_clock::now();
        const std::int32_t result = call();
        if (result == mailcore::kResultSuccess) return std::nullopt;
        const auto elapsed = std::chrono::steady_clock::now() - started;
        Failure failure = Explain(shape, result, wasConnected, elapsed);
        if (failure.detail.empty() || command.starts_with(failure.detail)) {
            failure.detail = command;
        } else {
            failure.detail = command + ": " + failure.detail;
        }
        if (BreaksTheConnection(failure.kind) && engine.IsConnected()) {
            // What the server still sends would be read as the answer to the next command.
            engine.Disconnect();
        }
        return failure;
    }

    Failure Explain(Shape shape, std::int32_t result, bool wasConnected,
                    std::chrono::steady_clock::duration elapsed) const {
        switch (result) {
            case mailcore::kResultBusy:
                return Refused(FailureKind::Busy, {});
            case mailcore::kResultBadArgument:
                return Refused(FailureKind::BadArgument, "nothing was sent");
            case mailcore::kResultUserTooLong:
                return Refused(FailureKind::BadArgument, "user name longer than 32 bytes");
            case mailcore::kResultPasswordTooLong:
                return Refused(FailureKind::BadArgument, "password longer than 32 bytes");
            case mailcore::kResultAlreadyConnected:
                return Refused(FailureKind::BadArgument, "already connected");
            default:
                break;
        }
        const std::string reply = WithoutLineEnd(engine.LastReply());
        if (cancelled.load(std::memory_order_acquire)) return {FailureKind::Cancelled, 0, reply, {}};
        Failure failure = engine.LastFailure();
        if (failure.IsFailure()) {
            // A reply that broke off keeps its status line, so the caller can tell it had begun; a stale
            // line from before does not belong to a command that was never sent.
            if (failure.reply.empty() && failure.kind != FailureKind::NotConnected) failure.reply = reply;
            return failure;
        }
        // No record of the cause: tell it from what is known.
        if (!wasConnected && shape != Shape::kConnect) return Refused(FailureKind::NotConnected, {});
        if (reply.starts_with('-')) return {FailureKind::NegativeReply, 0, reply, {}};
        if (!reply.empty() && (shape == Shape::kStatus || !reply.starts_with("+OK"))) {
            return {FailureKind::MalformedReply, 0, reply, {}};
        }
        // The receive time-out bounds each silence, so a failure sooner than it cannot be one.
        const FailureKind kind = elapsed >= receiveTimeout ? FailureKind::TimedOut : FailureKind::Closed;
        return {kind, 0, reply, {}};
    }

    // Runs `body`; an exception becomes an Internal failure, so none crosses the library boundary.
    template <typename T, typename Body>
    Result<T> Guard(const char* command, Body&& body) {
        try {
            return body();
        } catch (const std::exception& error) {
            return Failure{FailureKind::Internal, 0, {}, std::string(command) + ": " + error.what()};
        } catch (...) {
            return Failure{FailureKind::Internal, 0, {}, command};
        }
    }

    template <typename Call>
    Result<void> Simple(const std::string& command, Call&& call) {
        if (auto failure = this->Call(command, Shape::kStatus, call)) return std::move(*failure);
        return {};
    }

    Result<std::vector<Pop3Listed>> Listing(bool uids) {
        const char* command = uids ? "UIDL" : "LIST";
        if (auto failure =
                Call(command, Shape::kListing, [&] { return uids ? engine.Uidl(0) : engine.List(0); })) {
            return std::move(*failure);
        }
        std::vector<Pop3Listed> list;
        if (uids) {
            for (const UidEntry& entry : engine.Ids())
                list.push_back({entry.number, 0, WithoutLineEnd(entry.id)});
        } else {
            for (const ListEntry& entry : engine.Sizes()) list.push_back({entry.number, entry.octets, {}});
        }
        return list;
    }

    Result<Pop3Listed> Single(bool uids, std::int32_t number) {
        const std::string command = std::string(uids ? "UIDL " : "LIST ") + std::to_string(number);
        if (number < 1) return Refused(FailureKind::BadArgument, command + ": message numbers start at 1");
        if (auto failure = Call(command, Shape::kStatus,
                                [&] { return uids ? engine.Uidl(number) : engine.List(number); })) {
            return std::move(*failure);
        }
        if (uids) {
            if (engine.Ids().empty()) return Refused(FailureKind::Internal, command);
            return Pop3Listed{engine.Ids()[0].number, 0, WithoutLineEnd(engine.Ids()[0].id)};
        }
        if (engine.Sizes().empty()) return Refused(FailureKind::Internal, command);
        return Pop3Listed{engine.Sizes()[0].number, engine.Sizes()[0].octets, {}};
    }

    Result<std::string> Retrieved(const std::string& command, const std::function<std::int32_t()>& call) {
        if (auto failure = Call(command, Shape::kRetrieval, call)) return std::move(*failure);
        std::string text = engine.TakeRetrievedText();
        // The end line "." goes; the line end before it belongs to the message.
        if (text.ends_with("\r\n.\r\n")) {
            text.resize(text.size() - 3);
        } else if (text == ".\r\n") {
            text.clear();
        }
        return text;
    }
};

Pop3Session::Pop3Session() : state_(std::make_unique<State>()) {}

Pop3Session::~Pop3Session() = default;

mailcore::Result<std::string> Pop3Session::Connect(const std::string& host, std::int32_t port,
                                                   const Pop3ConnectOptions& options) {
    return state_->Guard<std::string>("connect", [&]() -> Result<std::string> {
        State& s = *state_;
        const std::string command = "connect to " + host + ":" + std::to_string(port);
        if (s.engine.IsConnected()) return Refused(FailureKind::BadArgument, command + ": already connected");
        s.cancelled.store(false, std::memory_order_release);
        s.receiveTimeout = options.receiveTimeout;
        s.engine.Socket().SetSendTimeout(Milliseconds(options.sendTimeout));
        s.engine.Socket().SetReceiveTimeout(Milliseconds(options.receiveTimeout));
        const auto mode = static_cast<std::int32_t>(options.security);
        if (mode < 0 || mode > 2)
            return Refused(FailureKind::BadArgument, command + ": unknown security mode");
        s.engine.SetSecurity({static_cast<mailcore::Security>(mode), options.trustFile});
        const auto resolution = options.byAddress ? mailcore::MailEngine::Resolution::kByAddress
                                                  : mailcore::MailEngine::Resolution::kByName;
        if (auto failure =
                s.Call(command, Shape::kConnect, [&] { return s.engine.Connect(host, port, resolution); })) {
            return std::move(*failure);
        }
        return WithoutLineEnd(s.engine.LastReply());
    });
}

mailcore::Result<void> Pop3Session::Login(const std::string& user, const std::string& password) {
    return state_->Guard<void>("login", [&]() -> Result<void> {
        State& s = *state_;
        if (auto failure = s.Call("USER " + user, Shape::kStatus, [&] { return s.engine.User(user); })) {
            return std::move(*failure);
        }
        // The password never goes into a failure's text.
        if (auto failure = s.Call("PASS", Shape::kStatus, [&] { return s.engine.Pass(password); })) {
            return std::move(*failure);
        }
        return {};
    });
}

mailcore::Result<void> Pop3Session::LoginPlain(const std::string& user, const std::string& password) {
    return state_->Guard<void>("login", [&]() -> Result<void> {
        constexpr const char* kCommand = "AUTH PLAIN";
        constexpr std::size_t kLimit = Pop3Engine::kMaxSaslCredentialLength;
        // The engine's own refusal would name the USER and PASS limits.
        if (user.size() > kLimit) return Refused(FailureKind::BadArgument, "AUTH PLAIN: user name too long");
        if (password.size() > kLimit)
            return Refused(FailureKind::BadArgument, "AUTH PLAIN: password too long");
        State& s = *state_;
        if (auto failure =
                s.Call(kCommand, Shape::kStatus, [&] { return s.engine.AuthPlain(user, password); })) {
            return std::move(*failure);
        }
        return {};
    });
}

mailcore::Result<Pop3Totals> Pop3Session::Stat() {
    return state_->Guard<Pop3Totals>("STAT", [&]() -> Result<Pop3Totals> {
        State& s = *state_;
        if (auto failure = s.Call("STAT", Shape::kStatus, [&] { return s.engine.Stat(); })) {
            return std::move(*failure);
        }
        if (s.engine.Sizes().empty()) return Refused(FailureKind::Internal, "STAT");
        return Pop3Totals{s.engine.Sizes()[0].number, s.engine.Sizes()[0].octets};
    });
}

mailcore::Result<std::vector<Pop3Listed>> Pop3Session::List() {
    return state_->Guard<std::vector<Pop3Listed>>("LIST", [&] { return state_->Listing(false); });
}

mailcore::Result<Pop3Listed> Pop3Session::List(std::int32_t number) {
    return state_->Guard<Pop3Listed>("LIST", [&] { return state_->Single(false, number); });
}

mailcore::Result<std::vector<Pop3Listed>> Pop3Session::Uidl() {
    return state_->Guard<std::vector<Pop3Listed>>("UIDL", [&] { return state_->Listing(true); });
}

mailcore::Result<Pop3Listed> Pop3Session::Uidl(std::int32_t number) {
    return state_->Guard<Pop3Listed>("UIDL", [&] { return state_->Single(true, number); });
}

mailcore::Result<std::string> Pop3Session::Retrieve(std::int32_t number) {
    return state_->Guard<std::string>("RETR", [&]() -> Result<std::string> {
        const std::string command = "RETR " + std::to_string(number);
        if (number < 1) return Refused(FailureKind::BadArgument, command + ": message numbers start at 1");
        return state_->Retrieved(command, [&] { return state_->engine.Retr(number); });
    });
}

mailcore::Result<std::string> Pop3Session::Top(std::int32_t number, std::int32_t lines) {
    return state_->Guard<std::string>("TOP", [&]() -> Result<std::string> {
        const std::string command = "TOP " + std::to_string(number) + " " + std::to_string(lines);
        if (number < 1) return Refused(FailureKind::BadArgument, command + ": message numbers start at 1");
        if (lines < 0) return Refused(FailureKind::BadArgument, command + ": a negative line count");
        return state_->Retrieved(command, [&] { return state_->engine.TopLines(number, lines); });
    });
}

mailcore::Result<void> Pop3Session::Delete(std::int32_t number) {
    return state_->Guard<void>("DELE", [&]() -> Result<void> {
        const std::string command = "DELE " + std::to_string(number);
        if (number < 1) return Refused(FailureKind::BadArgument, command + ": message numbers start at 1");
        return state_->Simple(command, [&] { return state_->engine.Dele(number); });
    });
}

mailcore::Result<void> Pop3Session::Noop() {
    return state_->Guard<void>("NOOP",
                               [&] { return state_->Simple("NOOP", [&] { return state_->engine.Noop(); }); });
}

mailcore::Result<void> Pop3Session::Reset() {
    return state_->Guard<void>("RSET",
                               [&] { return state_->Simple("RSET", [&] { return state_->engine.Rset(); }); });
}

mailcore::Result<void> Pop3Session::Quit() {
    return state_->Guard<void>("QUIT",
                               [&] { return state_->Simple("QUIT", [&] { return state_->engine.Quit(); }); });
}

void Pop3Session::Cancel() {
    state_->cancelled.store(true, std::memory_order_release);
    state_->engine.Socket().Cancel();
}

bool Pop3Session::IsConnected() const { return state_->engine.IsConnected(); }

std::string Pop3Session::LastReply() const {
    try {
        return WithoutLineEnd(state_->engine.LastReply());
    } catch (...) {
        return {};
    }
}

}  // namespace inlark
