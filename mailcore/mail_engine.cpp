#include "mailcore/mail_engine.h"

#include <exception>
#include <utility>

namespace mailcore {

bool FitsOnCommandLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

namespace {

// The last line of a reply that ends with a line end.
std::string_view LastLine(std::string_view reply) {
    std::size_t end = reply.size() > 0 ? reply.size() - 1 : 0;
    std::size_t lf = reply.rfind('\n', end > 0 ? end - 1 : 0);
    return lf == std::string_view::npos || lf >= end ? reply : reply.substr(lf + 1);
}

}  // namespace

std::string CommandDetail(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    std::string_view word = line.substr(0, line.find(' '));
    if (word.size() == 4 && (word[0] | 0x20) == 'p' && (word[1] | 0x20) == 'a' && (word[2] | 0x20) == 's' &&
        (word[3] | 0x20) == 's') {
        return "PASS";
    }
    return std::string(line);
}

MailEngine::~MailEngine() { Disconnect(); }

void MailEngine::RecordTransportFailure(std::string detail) {
    failure_ = socket_.LastFailure();
    failure_.detail = std::move(detail);
}

void MailEngine::RecordReplyFailure(FailureKind kind, std::string_view reply, std::string detail) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
    failure_ = {};
    failure_.kind = kind;
    failure_.reply.assign(reply);
    failure_.detail = std::move(detail);
}

std::int32_t MailEngine::Connect(const std::string& server, std::int32_t port, Resolution resolution) {
    if (server.empty() || !FitsOnCommandLine(server)) return kResultBadArgument;
    if (IsBusy()) return kResultBusy;
    if (IsConnected()) return kResultAlreadyConnected;
    lastReply_.clear();
    ClearFailure();
    socket_.SetObserver(observer_);
    std::int32_t result = socket_.Open();
    if (result <= 0) RecordFailure({FailureKind::Io, 0, {}, "connect: no wake-up descriptor"});
    if (result > 0) {
        switch (resolution) {
            case Resolution::kByName:
                result = socket_.ConnectToName(server, port);
                break;
            case Resolution::kByAddress:
                result = socket_.ConnectToAddress(server, port);
                break;
            case Resolution::kEither:
                result = socket_.ConnectToEither(server, port);
                break;
        }
    }
    if (result <= 0) {
        if (socket_.LastFailure().IsFailure()) RecordFailure(socket_.LastFailure());
        socket_.Close();
        connected_.store(false, std::memory_order_release);
        return kResultFailure;
    }
    CompletionQueue* queue = notifyQueue_;
    if (queue == nullptr) {
        // A final line ends the greeting; so does a POP3 refusal, which no further line can turn into a
        // session: the connect fails at once instead of after the receive time-out.
        connected_.store(ReadGreeting(ReplyMode::UntilFinalOrRefusal), std::memory_order_release);
        return IsConnected() ? kResultSuccess : kResultFailure;
    }
    connected_.store(true, std::memory_order_release);
    std::int32_t started = StartWorker([this] { return ReadGreeting(ReplyMode::OneLine); }, queue);
    if (started != kResultSuccess) {
        socket_.Close();
        connected_.store(false, std::memory_order_release);
    }
    return started;
}

bool MailEngine::ReadGreeting(ReplyMode mode) {
    constexpr std::string_view kGreeting = "greeting";
    bool ok;
    if (mode == ReplyMode::OneLine) {
        ok = ReadStatusLine(kGreeting);
    } else {
        std::string greeting;
        ok = socket_.ReadReply(greeting, mode);
        if (!ok) {
            RecordTransportFailure(std::string(kGreeting));
        } else if (std::string_view last = LastLine(greeting); last.starts_with("-ERR")) {
            ok = false;
            RecordReplyFailure(FailureKind::NegativeReply, last, std::string(kGreeting));
        } else {
            SetLastReply(greeting);
        }
    }
    if (ok) ok = AfterGreeting();
    if (!ok) {
        // Nothing useful can follow a missing greeting: give the connection up so a new connect is allowed.
        socket_.Close();
        connected_.store(false, std::memory_order_release);
    }
    return ok;
}

void MailEngine::Disconnect() {
    connected_.store(false, std::memory_order_release);
    if (!worker_.WaitIdle(disconnectWait_)) socket_.Cancel();
    worker_.Join();
    socket_.Close();
    ClearResults();
}

std::int32_t MailEngine::Execute(Command command, bool clearFirst) {
    if (IsBusy()) return kResultBusy;
    if (clearFirst) ClearResults();
    ClearFailure();
    if (!IsConnected()) {
        RecordFailure({FailureKind::NotConnected, 0, {}, {}});
        return kResultFailure;
    }
    CompletionQueue* queue = notifyQueue_;
    if (queue != nullptr) return StartWorker(std::move(command), queue);
    bool ok = command();
    if (!ok) ClearResults();
    return ok ? kResultSuccess : kResultFailure;
}

std::int32_t MailEngine::StartWorker(Command command, CompletionQueue* queue) {
    bool started = worker_.Start(
        [this, command = std::move(command)]() -> std::int32_t {
            bool ok = false;
            try {
                ok = command();
            } catch (const std::exception& e) {
                RecordFailure({FailureKind::Internal, 0, {}, e.what()});
            } catch (...) {
                RecordFailure({FailureKind::Internal, 0, {}, "unknown exception"});
            }
            // Results are complete when the worker posts; the host may read them once it sees the outcome.
            if (!ok) ClearResults();
            return ok ? kResultSuccess : kResultFailure;
        },
        *queue);
    return started ? kResultSuccess : kResultFailure;
}

bool MailEngine::Exchange(std::string_view line) {
    if (socket_.SendText(line) <= 0) {
        RecordTransportFailure(CommandDetail(line));
        lastReply_.clear();
        return false;
    }
    return ReadStatusLine(CommandDetail(line));
}

bool MailEngine::ReadStatusLine(std::string_view detail) {
    if (socket_.ReadReply(lastReply_, ReplyMode::OneLine, {}, kLastReplyCapacity)) return true;
    RecordTransportFailure(std::string(detail));
    return false;
}

void MailEngine::SetLastReply(std::string_view line) {
    if (line.size() < kLastReplyCapacity) {
        lastReply_.assign(line);
    } else {
        lastReply_.clear();
    }
}

void MailEngine::CloseConnection() {
    socket_.Close();
    connected_.store(false, std::memory_order_release);
}

}  // namespace mailcore
