#include "mailcore/mail_engine.h"

#include <exception>
#include <utility>

namespace mailcore {

bool FitsOnCommandLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

MailEngine::~MailEngine() { Disconnect(); }

std::int32_t MailEngine::Connect(const std::string& server, std::int32_t port, Resolution resolution) {
    if (server.empty() || !FitsOnCommandLine(server)) return kResultBadArgument;
    if (IsBusy()) return kResultBusy;
    if (IsConnected()) return kResultAlreadyConnected;
    lastReply_.clear();
    socket_.SetObserver(observer_);
    std::int32_t result = socket_.Open();
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
        socket_.Close();
        connected_.store(false, std::memory_order_release);
        return kResultFailure;
    }
    CompletionQueue* queue = notifyQueue_;
    if (queue == nullptr) {
        connected_.store(ReadGreeting(ReplyMode::UntilFinalLine), std::memory_order_release);
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
    bool ok;
    if (mode == ReplyMode::OneLine) {
        ok = ReadStatusLine();
    } else {
        std::string greeting;
        ok = socket_.ReadReply(greeting, mode);
        if (ok) SetLastReply(greeting);
    }
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
    if (!IsConnected()) return kResultFailure;
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
        lastReply_.clear();
        return false;
    }
    return ReadStatusLine();
}

bool MailEngine::ReadStatusLine() {
    return socket_.ReadReply(lastReply_, ReplyMode::OneLine, {}, kLastReplyCapacity);
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
