#include "mailcore/tests/tls_test_client.h"

#include <netinet/in.h>

#include "mailcore/tcp_stream.h"

namespace mailcore::testing {
namespace {

Resolver EverythingIsLocal() {
    Resolver resolver;
    resolver.lookUp = [](const std::string&) {
        sockaddr_storage address{};
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return std::vector<sockaddr_storage>{address};
    };
    resolver.hasReverseEntry = [](const sockaddr_storage&) { return true; };
    return resolver;
}

}  // namespace

std::string StatusText(StreamStatus status) {
    Failure failure;
    failure.kind = status.kind;
    failure.systemError = status.systemError;
    return FailureText(failure);
}

TlsTestClient::TlsTestClient(TlsSettings settings, std::chrono::milliseconds timeout)
    : timeout_(timeout),
      stream_(std::make_unique<TlsStream>(std::make_unique<TcpStream>(EverythingIsLocal()),
                                          std::move(settings))) {}

StreamStatus TlsTestClient::Connect(const std::string& host, int port) {
    if (!stream_->Open()) return {FailureKind::Io, 0};
    return stream_->Connect({host, port, AddressRule::kName}, StreamClock::now() + timeout_);
}

std::string TlsTestClient::WaitFor(ByteStream::Direction direction) {
    const StreamStatus ready = stream_->Wait(direction, static_cast<std::int32_t>(timeout_.count()));
    return ready ? "" : StatusText(ready);
}

std::string TlsTestClient::ReadPlainLine(std::string* line) {
    line->clear();
    for (;;) {
        char c = 0;
        std::size_t received = 0;
        if (const StreamStatus status = stream_->Read(&c, 1, received); !status) return StatusText(status);
        if (received == 0) {
            if (std::string error = WaitFor(ByteStream::Direction::kRead); !error.empty()) return error;
            continue;
        }
        if (c == '\n') break;
        *line += c;
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return {};
}

std::string TlsTestClient::ReadLine(std::string* line) {
    for (;;) {
        const std::size_t eol = buffer_.find('\n');
        if (eol != std::string::npos) {
            *line = buffer_.substr(0, eol);
            buffer_.erase(0, eol + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return {};
        }
        char chunk[4096];
        std::size_t received = 0;
        if (const StreamStatus status = stream_->Read(chunk, sizeof chunk, received); !status) {
            return StatusText(status);
        }
        buffer_.append(chunk, received);
        if (received == 0) {
            if (std::string error = WaitFor(ByteStream::Direction::kRead); !error.empty()) return error;
        }
    }
}

std::string TlsTestClient::Send(std::string_view text) {
    while (!text.empty()) {
        std::size_t sent = 0;
        if (const StreamStatus status = stream_->Write(text.data(), text.size(), sent); !status) {
            return StatusText(status);
        }
        text.remove_prefix(sent);
        if (sent == 0) {
            if (std::string error = WaitFor(ByteStream::Direction::kWrite); !error.empty()) return error;
        }
    }
    return {};
}

std::string TlsTestClient::Ask(std::string_view command) {
    if (std::string error = Send(std::string(command) + "\r\n"); !error.empty()) return error;
    std::string line;
    if (std::string error = ReadLine(&line); !error.empty()) return error;
    return line;
}

}  // namespace mailcore::testing
