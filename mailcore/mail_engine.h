#pragma once
// The protocol engine base shared by the mail components: one connection, connect and disconnect, and the
// choice between running a command on the caller's thread and running it on a worker thread whose
// outcome reaches the host through a CompletionQueue.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mailcore/completion_queue.h"
#include "mailcore/failure.h"
#include "mailcore/mail_socket.h"
#include "mailcore/result_code.h"
#include "mailcore/worker_thread.h"

namespace mailcore {

// Result codes of every component method (its pVal).
inline constexpr std::int32_t kResultSuccess = ToInt(ResultCode::Success);  // or: started on a worker
inline constexpr std::int32_t kResultFailure = ToInt(ResultCode::Failure);
inline constexpr std::int32_t kResultBusy = ToInt(ResultCode::Busy);
inline constexpr std::int32_t kResultBadArgument = ToInt(ResultCode::BadArgument);
inline constexpr std::int32_t kResultUserTooLong = ToInt(ResultCode::UserTooLong);
inline constexpr std::int32_t kResultPasswordTooLong = ToInt(ResultCode::PasswordTooLong);
inline constexpr std::int32_t kResultAlreadyConnected = ToInt(ResultCode::AlreadyConnected);

// A text may go onto a command line only without CR, LF and NUL: those would end the line early and let
// the caller slip in protocol commands of their own.
[[nodiscard]] bool FitsOnCommandLine(std::string_view text);

// How a command line is named in a failure record: the line without its end, but a password command
// ("PASS secret") as its word alone.
[[nodiscard]] std::string CommandDetail(std::string_view line);

class MailEngine {
  public:
    enum class Resolution { kByName, kByAddress, kEither };

    // The last status line is kept as a 256-byte buffer would hold it.
    static constexpr std::size_t kLastReplyCapacity = 256;
    static constexpr std::chrono::milliseconds kDefaultDisconnectWait{30000};

    MailEngine() = default;
    // Over `stream` instead of plain TCP (a test's scripted fake, a TLS stream).
    explicit MailEngine(std::unique_ptr<ByteStream> stream) : socket_(std::move(stream)) {}
    // Derived engines call Disconnect in their own destructor, so no worker runs into a half-destroyed
    // object.
    virtual ~MailEngine();
    MailEngine(const MailEngine&) = delete;
    MailEngine& operator=(const MailEngine&) = delete;

    // Releases what the last command produced. Runs on the worker after a failed asynchronous command.
    virtual void ClearResults() {}

    // None: commands run on the caller's thread. Set: on a worker, which posts 1 or 0 to the queue.
    // The queue must outlive the engine.
    void SetNotifyQueue(CompletionQueue* queue) { notifyQueue_ = queue; }
    CompletionQueue* NotifyQueue() const { return notifyQueue_; }
    // Copied into the socket at each connect.
    void SetObserver(MailSocket::TrafficObserver observer) { observer_ = std::move(observer); }
    // How long Disconnect lets a running worker finish before it cancels it.
    void SetDisconnectWait(std::chrono::milliseconds wait) { disconnectWait_ = wait; }

    // -2 server text absent or not fit for a command line, -1 busy, -5 already connected; else 1 or 0.
    // Synchronous: 1 once the greeting (a final status line) arrived. Asynchronous: 1 when the connection
    // is up and a worker reading the greeting started; the worker posts the outcome.
    [[nodiscard]] std::int32_t Connect(const std::string& server, std::int32_t port, Resolution resolution);
    // Clears the connected flag, lets a running worker finish (within the disconnect wait, then cancels
    // it), closes the socket and clears the results.
    void Disconnect();

    bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
    bool IsBusy() const { return worker_.Running(); }
    // The most recent status line, line end included; only read while no worker runs.
    const std::string& LastReply() const { return lastReply_; }
    MailSocket& Socket() { return socket_; }
    // Why the last command or connect failed; kind None after a success. Only read while no worker runs.
    // The detail names the command ("RETR 3", "PASS" without its text, "connect host:port", "greeting").
    const Failure& LastFailure() const { return failure_; }

  protected:
    // The protocol steps of one command; true on success. Runs on the caller's thread or on the worker.
    using Command = std::function<bool()>;

    // -1 busy; 0 not connected or no worker could be started; otherwise synchronous: the command's
    // outcome (1 or 0), asynchronous: 1 (started). `clearFirst` clears the previous results once the
    // command is not refused as busy. A failed command clears the results.
    [[nodiscard]] std::int32_t Execute(Command command, bool clearFirst = false);

    LineTransport& Transport() { return socket_; }
    // Sends `line` and reads one status line into the last reply. False when either failed, with the
    // transport's failure recorded under the command's name.
    [[nodiscard]] bool Exchange(std::string_view line);
    // A failure is recorded with `detail`.
    [[nodiscard]] bool ReadStatusLine(std::string_view detail = {});
    // Stores a status line read some other way; a line too long for the buffer is not kept.
    void SetLastReply(std::string_view line);
    // Ends the connection from inside a command (after a farewell such as QUIT).
    void CloseConnection();
    void RecordFailure(Failure failure) { failure_ = std::move(failure); }
    // The transport's last failure, under `detail`.
    void RecordTransportFailure(std::string detail);
    // A reply that was read but says no or makes no sense; `reply` is kept without its line end.
    void RecordReplyFailure(FailureKind kind, std::string_view reply, std::string detail);
    void ClearFailure() { failure_ = {}; }
    // Runs after a greeting that opens a session, on the thread that read it, before the connect counts
    // as done (a TLS upgrade). False fails the connect; the connection is then closed.
    virtual bool AfterGreeting() { return true; }

  private:
    [[nodiscard]] std::int32_t StartWorker(Command command, CompletionQueue* queue);
    bool ReadGreeting(ReplyMode mode);

    MailSocket socket_;
    std::string lastReply_;
    Failure failure_;
    MailSocket::TrafficObserver observer_;
    CompletionQueue* notifyQueue_ = nullptr;
    std::atomic<bool> connected_{false};
    std::chrono::milliseconds disconnectWait_ = kDefaultDisconnectWait;

    // Last member: destroyed (joined) first, while everything its job uses still exists.
    WorkerThread worker_;
};

}  // namespace mailcore
