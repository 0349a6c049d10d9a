#include "testing/fake_stream/fake_byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace scripted {

using mailcore::FailureKind;
using mailcore::StreamStatus;

FakeByteStream& FakeByteStream::Deliver(std::string bytes, std::vector<std::size_t> cuts) {
    std::lock_guard lock(mutex_);
    std::sort(cuts.begin(), cuts.end());
    std::size_t from = 0;
    cuts.push_back(bytes.size());
    for (std::size_t cut : cuts) {
        cut = std::min(cut, bytes.size());
        if (cut <= from) continue;
        steps_.push_back({Step::Kind::kData, bytes.substr(from, cut - from), {}, {}});
        from = cut;
    }
    return *this;
}

FakeByteStream& FakeByteStream::DeliverBytewise(std::string bytes) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < bytes.size(); ++i) cuts.push_back(i);
    return Deliver(std::move(bytes), std::move(cuts));
}

FakeByteStream& FakeByteStream::Delay(Milliseconds silence) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Kind::kDelay, {}, silence, {}});
    return *this;
}

FakeByteStream& FakeByteStream::FailRead(StreamStatus status) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Kind::kFail, {}, {}, status});
    return *this;
}

FakeByteStream& FakeByteStream::CloseByPeer() {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Kind::kClose, {}, {}, {FailureKind::Closed, 0}});
    return *this;
}

FakeByteStream& FakeByteStream::Hang() {
    std::lock_guard lock(mutex_);
    steps_.push_back({Step::Kind::kHang, {}, {}, {}});
    return *this;
}

FakeByteStream& FakeByteStream::LimitWrites(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    writeLimit_ = bytes;
    return *this;
}

FakeByteStream& FakeByteStream::FailWritesAfter(std::size_t bytes, StreamStatus status) {
    std::lock_guard lock(mutex_);
    failAfter_ = bytes;
    failWrite_ = status;
    return *this;
}

FakeByteStream& FakeByteStream::BlockWritesAfter(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    blockAfter_ = bytes;
    blockWrites_ = true;
    return *this;
}

FakeByteStream& FakeByteStream::FailConnect(StreamStatus status) {
    std::lock_guard lock(mutex_);
    connectStatus_ = status;
    return *this;
}

FakeByteStream& FakeByteStream::HangConnect() {
    std::lock_guard lock(mutex_);
    hangConnect_ = true;
    return *this;
}

std::string FakeByteStream::Written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

mailcore::Endpoint FakeByteStream::LastEndpoint() const {
    std::lock_guard lock(mutex_);
    return endpoint_;
}

std::size_t FakeByteStream::Connects() const {
    std::lock_guard lock(mutex_);
    return connects_;
}

bool FakeByteStream::Hanging() const {
    std::lock_guard lock(mutex_);
    return hanging_;
}

bool FakeByteStream::Open() {
    Close();
    return true;
}

void FakeByteStream::Close() {
    std::lock_guard lock(mutex_);
    connected_ = false;
    cancelled_ = false;
}

bool FakeByteStream::IsConnected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

StreamStatus FakeByteStream::Block(std::unique_lock<std::mutex>& lock,
                                   mailcore::StreamClock::time_point deadline) {
    hanging_ = true;
    bool woken = cancelWake_.wait_until(lock, deadline, [this] { return cancelled_; });
    hanging_ = false;
    return woken ? StreamStatus{FailureKind::Cancelled, 0} : StreamStatus{FailureKind::TimedOut, 0};
}

StreamStatus FakeByteStream::Connect(const mailcore::Endpoint& endpoint,
                                     mailcore::StreamClock::time_point deadline) {
    std::unique_lock lock(mutex_);
    connected_ = false;
    endpoint_ = endpoint;
    ++connects_;
    if (cancelled_) return {FailureKind::Cancelled, 0};
    if (hangConnect_) return Block(lock, deadline);
    if (!connectStatus_.Ok()) return connectStatus_;
    connected_ = true;
    return {};
}

StreamStatus FakeByteStream::Read(char* buffer, std::size_t size, std::size_t& received) {
    std::lock_guard lock(mutex_);
    received = 0;
    if (!connected_) return {FailureKind::NotConnected, 0};
    if (steps_.empty()) return {};
    Step& step = steps_.front();
    switch (step.kind) {
        case Step::Kind::kData:
            received = std::min(size, step.bytes.size());
            std::memcpy(buffer, step.bytes.data(), received);
            step.bytes.erase(0, received);
            if (step.bytes.empty()) steps_.pop_front();
            return {};
        case Step::Kind::kFail: {
            StreamStatus status = step.status;
            steps_.pop_front();
            return status;
        }
        case Step::Kind::kClose:
            return step.status;
        case Step::Kind::kDelay:
        case Step::Kind::kHang:
            return {};
    }
    return {};
}

StreamStatus FakeByteStream::Write(const char* data, std::size_t size, std::size_t& sent) {
    std::lock_guard lock(mutex_);
    sent = 0;
    if (!connected_) return {FailureKind::NotConnected, 0};
    std::size_t take = writeLimit_ > 0 ? std::min(size, writeLimit_) : size;
    if (!failWrite_.Ok() && written_.size() + take > failAfter_) return failWrite_;
    if (blockWrites_) take = std::min(take, blockAfter_ - std::min(blockAfter_, written_.size()));
    written_.append(data, take);
    sent = take;
    return {};
}

StreamStatus FakeByteStream::Wait(Direction direction, std::int32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!connected_) return {FailureKind::NotConnected, 0};
    if (cancelled_) return {FailureKind::Cancelled, 0};
    const Milliseconds timeout(std::max(timeoutMs, 0));
    if (direction == Direction::kWrite) {
        const bool full = blockWrites_ && written_.size() >= blockAfter_;
        return full ? StreamStatus{FailureKind::TimedOut, 0} : StreamStatus{};
    }
    while (!steps_.empty() && steps_.front().kind == Step::Kind::kDelay) {
        Step& delay = steps_.front();
        if (delay.silence > timeout) {
            delay.silence -= timeout;
            return {FailureKind::TimedOut, 0};
        }
        steps_.pop_front();
    }
    if (steps_.empty()) return {FailureKind::TimedOut, 0};  // a silent peer
    if (steps_.front().kind == Step::Kind::kHang) {
        return Block(lock, mailcore::StreamClock::now() + timeout);
    }
    return {};
}

std::size_t FakeByteStream::Pending() {
    std::lock_guard lock(mutex_);
    return !steps_.empty() && steps_.front().kind == Step::Kind::kData ? steps_.front().bytes.size() : 0;
}

StreamStatus FakeByteStream::StartTls(const std::string& /*host*/) { return {FailureKind::Io, ENOTSUP}; }

void FakeByteStream::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    cancelWake_.notify_all();
}

bool FakeByteStream::IsCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

}  // namespace scripted
