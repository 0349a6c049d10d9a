#include "mailcore/mail_socket.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>

#include "mailcore/large_buffer.h"
#include "mailcore/tcp_stream.h"
#include "mailcore/tls_stream.h"

namespace mailcore {

namespace {

using Clock = StreamClock;

// Bytes taken from the kernel per receive call; replies are still cut at their own line ends.
constexpr std::size_t kReadChunk = 64 * 1024;
// Bytes taken per receive call while a message is read straight into its reply, which starts once the
// reply is this long: small replies are cheaper through the read-ahead.
constexpr std::size_t kBulkChunk = 256 * 1024;
constexpr std::size_t kBulkThreshold = 64 * 1024;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsFinalLine(std::string_view line) {
    return line.size() > 3 && line[0] != ' ' && line[0] != '\t' && line[3] == ' ';
}

bool EndsReply(ReplyMode mode, std::string_view reply, std::string_view line, std::string_view terminator) {
    switch (mode) {
        case ReplyMode::OneLine:
            return true;
        case ReplyMode::UntilFinalLine:
            return IsFinalLine(line);
        case ReplyMode::UntilFinalOrRefusal:
            return IsFinalLine(line) || line.starts_with("-ERR");
        case ReplyMode::UntilTerminator:
            if (EndsWith(reply, terminator)) return true;
            // An empty message is its end line alone: without this a POP3 "+OK" for a message of zero
            // bytes would wait for the time-out.
            return terminator.size() > 2 && terminator.substr(0, 2) == "\r\n" &&
                   reply == terminator.substr(2);
    }
    return false;
}

}  // namespace

void DotUnstuff(std::string& text) {
    static constexpr std::string_view kStuffed = "\r\n..";
    std::size_t hit = text.find(kStuffed);
    if (hit == std::string::npos) return;
    char* data = text.data();
    std::size_t write = 0;
    std::size_t read = 0;
    // Every later match starts at or after `read`, in the part not yet moved, because the byte after a
    // removed dot cannot begin a new CR LF "." "." that overlaps the old one.
    while (hit != std::string::npos) {
        std::size_t keep = hit + 3 - read;  // up to and including the first dot
        std::memmove(data + write, data + read, keep);
        write += keep;
        read = hit + 4;
        hit = text.find(kStuffed, read);
    }
    std::memmove(data + write, data + read, text.size() - read);
    text.resize(write + text.size() - read);
}

MailSocket::MailSocket() {
    auto tcp = std::make_unique<TcpStream>();
    tcp_ = tcp.get();
    stream_ = std::move(tcp);
}

MailSocket::MailSocket(std::unique_ptr<ByteStream> stream) : stream_(std::move(stream)) {}

MailSocket::~MailSocket() = default;

void MailSocket::SetResolver(Resolver resolver) {
    if (tcp_ != nullptr) tcp_->SetResolver(std::move(resolver));
}

void MailSocket::SetSecurity(const ConnectionSecurity& security) {
    TlsSettings settings;
    settings.trustFile = security.trustFile;
    settings.implicit = security.mode == Security::kImplicit;
    if (tls_ != nullptr) {
        tls_->SetSettings(std::move(settings));
        return;
    }
    if (security.mode == Security::kNone) return;
    auto tls = std::make_unique<TlsStream>(std::move(stream_), std::move(settings));
    tls_ = tls.get();
    stream_ = std::move(tls);
}

std::int32_t MailSocket::Open() {
    Close();
    return stream_->Open() ? 1 : 0;
}

void MailSocket::Close() {
    stream_->Close();
    std::string().swap(readAhead_);
    readLen_ = 0;
    readPos_ = 0;
}

std::int32_t MailSocket::Cancel() {
    stream_->Cancel();
    return 0;
}

void MailSocket::DiscardReadAhead() {
    readLen_ = 0;
    readPos_ = 0;
}

const Failure* MailSocket::TlsLayerFailure() const {
    return tls_ != nullptr && tls_->LastTlsFailure().IsFailure() ? &tls_->LastTlsFailure() : nullptr;
}

std::string MailSocket::TlsReason() const {
    const Failure* tls = TlsLayerFailure();
    if (tls == nullptr || tls->kind != failure_.kind || tls->detail.empty()) return {};
    return ": " + tls->detail;
}

void MailSocket::Record(StreamStatus status) {
    failure_ = {};
    failure_.kind = status.kind;
    failure_.systemError = status.systemError;
}

std::int32_t MailSocket::ConnectToName(const std::string& host, std::int32_t port) {
    return Connect({host, port, AddressRule::kName});
}

std::int32_t MailSocket::ConnectToAddress(const std::string& address, std::int32_t port) {
    return Connect({address, port, AddressRule::kAddress});
}

std::int32_t MailSocket::ConnectToEither(const std::string& text, std::int32_t port) {
    return Connect({text, port, AddressRule::kEither});
}

std::int32_t MailSocket::Connect(const Endpoint& endpoint) {
    DiscardReadAhead();
    StreamStatus status =
        stream_->Connect(endpoint, Clock::now() + std::chrono::milliseconds(std::max(sendTimeoutMs_, 0)));
    Record(status);
    if (status.Ok()) return 1;
    failure_.detail = "connect " + EndpointText(endpoint) + TlsReason();
    return status.kind == FailureKind::Resolve ? -1 : 0;
}

std::int32_t MailSocket::StartTls(const std::string& host) {
    DiscardReadAhead();
    if (tls_ != nullptr) {
        // The handshake is one more wait for the server: bounded like the others.
        TlsSettings settings = tls_->Settings();
        settings.handshakeTimeoutMs = receiveTimeoutMs_;
        tls_->SetSettings(std::move(settings));
    }
    const StreamStatus status = stream_->StartTls(host);
    Record(status);
    if (status.Ok()) return 1;
    failure_.detail = "TLS " + host + TlsReason();
    return 0;
}

std::int32_t MailSocket::SendText(std::string_view text) {
    failure_ = {};
    if (!stream_->IsConnected()) {
        Record({FailureKind::NotConnected});
        return -1;
    }
    if (observer_) observer_(text);
    std::size_t sent = 0;
    while (sent < text.size()) {
        std::size_t end = sent + std::min(sendChunkSize_, text.size() - sent);
        while (sent < end) {
            if (Aborted()) {
                Record({FailureKind::Cancelled});
                return -1;
            }
            std::size_t n = 0;
            StreamStatus status = stream_->Write(text.data() + sent, end - sent, n);
            if (!status.Ok()) {
                Record(status);
                return -1;
            }
            sent += n;
            if (n > 0) continue;
            status = stream_->Wait(ByteStream::Direction::kWrite, sendTimeoutMs_);
            if (!status.Ok()) {
                Record(status);
                return -1;
            }
        }
    }
    return static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
}

int MailSocket::ReceiveBulk(std::string& reply, std::string_view terminator, std::size_t limit) {
    // A terminator that ends with LF ends the reply at its first occurrence, wherever the line ends fall,
    // so the data can go straight into the reply and be searched there.
    const std::size_t old = reply.size();
    const std::size_t chunk = std::clamp<std::size_t>(stream_->Pending(), 4096, kBulkChunk);
    if (reply.capacity() - old < chunk) ReserveLarge(reply, std::max(reply.capacity() * 2, old + chunk));
    reply.resize(old + chunk);
    std::size_t n = 0;
    StreamStatus status = stream_->Read(reply.data() + old, chunk, n);
    reply.resize(old + n);
    if (!status.Ok()) {
        Record(status);
        return -1;
    }
    if (n == 0) return 0;
    std::string_view data = reply;
    std::size_t end = std::string_view::npos;
    const std::string_view endLine = terminator.substr(2);
    if (old < endLine.size() && data.starts_with(endLine) && terminator.starts_with("\r\n")) {
        end = endLine.size();  // an empty message: its end line alone
    } else {
        std::size_t from = old >= terminator.size() ? old - (terminator.size() - 1) : 0;
        std::size_t at = data.find(terminator, from);
        if (at != std::string_view::npos) end = at + terminator.size();
    }
    if (end == std::string_view::npos ? reply.size() >= limit : end >= limit) {
        Record({FailureKind::ReplyTooLong});
        return -1;
    }
    if (end == std::string_view::npos) return 2;
    readAhead_.assign(data.substr(end));
    readLen_ = readAhead_.size();
    readPos_ = 0;
    reply.resize(end);
    return 1;
}

bool MailSocket::Fail(std::string& reply, std::size_t capacity) {
    if (capacity == 0) {
        std::string().swap(reply);
    } else if (reply.size() > capacity - 1) {
        reply.resize(capacity - 1);
    }
    return false;
}

bool MailSocket::Fail(std::string& reply, std::size_t capacity, StreamStatus status) {
    Record(status);
    return Fail(reply, capacity);
}

bool MailSocket::ReadReply(std::string& reply, ReplyMode mode, std::string_view terminator,
                           std::size_t capacity) {
    failure_ = {};
    reply.clear();
    const std::size_t limit = capacity > 0 ? capacity - 1 : replyLimit_;
    std::size_t lineStart = 0;
    auto lastData = Clock::now();
    for (;;) {
        if (!stream_->IsConnected()) return Fail(reply, capacity, {FailureKind::NotConnected});
        if (Aborted()) return Fail(reply, capacity, {FailureKind::Cancelled});
        if (readPos_ < readLen_) {
            const char* begin = readAhead_.data() + readPos_;
            const std::size_t available = readLen_ - readPos_;
            const char* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
            const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - begin) + 1 : available;
            readPos_ += take;
            if (reply.size() + take >= limit) {
                reply.append(begin, std::min(take, limit - std::min(limit, reply.size())));
                return Fail(reply, capacity, {FailureKind::ReplyTooLong});
            }
            reply.append(begin, take);
            if (lf == nullptr) continue;
            std::string_view line = std::string_view(reply).substr(lineStart);
            lineStart = reply.size();
            if (EndsReply(mode, reply, line, terminator)) {
                if (observer_) observer_(reply);
                return true;
            }
            continue;
        }
        auto silence = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastData).count();
        auto left = static_cast<std::int32_t>(std::max<long long>(receiveTimeoutMs_ - silence, 0));
        if (StreamStatus waited = stream_->Wait(ByteStream::Direction::kRead, left); !waited.Ok()) {
            return Fail(reply, capacity, waited);
        }
        if (mode == ReplyMode::UntilTerminator && capacity == 0 && terminator.size() > 2 &&
            terminator.back() == '\n' && reply.size() >= kBulkThreshold) {
            int done = ReceiveBulk(reply, terminator, limit);
            if (done < 0) return Fail(reply, capacity);
            if (done == 1) {
                if (observer_) observer_(reply);
                return true;
            }
            if (done == 2) lastData = Clock::now();
            continue;
        }
        // The storage keeps its size, so a read never pays for clearing it first.
        if (readAhead_.size() < kReadChunk) readAhead_.resize(kReadChunk);
        readLen_ = 0;
        readPos_ = 0;
        std::size_t n = 0;
        if (StreamStatus read = stream_->Read(readAhead_.data(), kReadChunk, n); !read.Ok()) {
            return Fail(reply, capacity, read);
        }
        if (n > 0) {
            readLen_ = n;
            lastData = Clock::now();
        }
    }
}

}  // namespace mailcore
