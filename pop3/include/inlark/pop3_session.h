#pragma once
// libinlark's byte-exact POP3 session for C++ callers: every command returns its value or the failure that
// kept it from being made, never an exception. Texts are UTF-8 where they are text (user name, password,
// host) and the server's own bytes where they are data (retrieved messages, unique ids, reply lines).
//
// Threads: one thread at a time runs the commands, each synchronously; Cancel may be called from any
// other thread and makes the running and every later command fail with FailureKind::Cancelled until the
// next Connect.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mailcore/failure.h"

#ifndef INLARK_API
#define INLARK_API __attribute__((visibility("default")))
#endif

namespace inlark {

// How the connection is secured. The server's certificate must chain to a trusted CA and name the host as
// given to Connect; a failure is FailureKind::CertificateVerify or TlsHandshake, and nothing more is sent.
enum class Pop3Security : std::int32_t {
    kNone = 0,
    kStls = 1,      // plain until the greeting, then "STLS"; anything but "+OK" fails the connect
    kImplicit = 2,  // TLS from the first byte (POP3S, port 995)
};

struct Pop3ConnectOptions {
    // Bounds each wait for room to send and the wait for the connection itself.
    std::chrono::milliseconds sendTimeout{120000};
    // Bounds the silence between two pieces of a reply, not the whole reply.
    std::chrono::milliseconds receiveTimeout{120000};
    // The host is a numeric address that must have a reverse (address to name) entry.
    bool byAddress = false;
    Pop3Security security = Pop3Security::kNone;
    // A PEM file of the CA certificates to trust instead of the system's store, or the server's own
    // certificate. Empty: the system's store.
    std::string trustFile{};
};

struct Pop3Totals {
    std::int32_t messages = 0;
    std::uint64_t octets = 0;
};

struct Pop3Listed {
    std::int32_t number = 0;
    std::uint64_t octets = 0;  // LIST: the size, whole; 0 when the server's text holds no number
    std::string uid;           // UIDL: the unique id as sent, without its line end
};

class INLARK_API Pop3Session {
  public:
    template <typename T>
    using Result = mailcore::Result<T>;

    Pop3Session();
    // Leaves without QUIT, so the server keeps every message marked for deletion.
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    // Connects and reads the greeting; gives the greeting line without its line end.
    Result<std::string> Connect(const std::string& host, std::int32_t port,
                                const Pop3ConnectOptions& options = {});
    // USER, then PASS. Each text at most 32 bytes, without CR, LF or NUL.
    Result<void> Login(const std::string& user, const std::string& password);
    // SASL PLAIN ("AUTH PLAIN" with the initial response, RFC 5034). Each text at most 255 bytes, without
    // CR, LF or NUL. No failure holds the password or its base64.
    Result<void> LoginPlain(const std::string& user, const std::string& password);
    Result<Pop3Totals> Stat();
    Result<std::vector<Pop3Listed>> List();
    Result<Pop3Listed> List(std::int32_t number);
    Result<std::vector<Pop3Listed>> Uidl();
    Result<Pop3Listed> Uidl(std::int32_t number);
    // The message as the server sent it, dot-unstuffed, without the end line ".".
    Result<std::string> Retrieve(std::int32_t number);
    // The header and `lines` body lines ("TOP n lines"; 0 asks for the header alone).
    Result<std::string> Top(std::int32_t number, std::int32_t lines);
    // Marks a message for deletion; the server deletes it at a successful Quit.
    Result<void> Delete(std::int32_t number);
    Result<void> Noop();
    // Unmarks every message marked for deletion.
    Result<void> Reset();
    // QUIT, then closes the connection. A refused QUIT leaves the connection open.
    Result<void> Quit();

    // Safe from any thread.
    void Cancel();
    [[nodiscard]] bool IsConnected() const;
    // The last status line, without its line end.
    [[nodiscard]] std::string LastReply() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace inlark
