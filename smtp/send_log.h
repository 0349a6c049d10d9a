#pragma once
// The record a one-shot send appends to the component's log file.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace outlark {

struct SendRecord {
    std::int32_t status = 0;
    // Shift_JIS texts, written as given.
    std::string server, to, from, subject, body, filename;
    // The settings the send used: timeouts in seconds, encode in its stored form.
    std::int32_t port = 25, type = 0, encode = 0, header8bit = 1, width = 76;
    std::int32_t send_timeout = 30, recv_timeout = 30, sync = 1;
};

inline constexpr std::chrono::milliseconds kLogLockWait{60000};

// The record's bytes (Shift_JIS, CR LF line breaks) stamped with the local time `now` plus `millisecond`.
std::string FormatSendRecord(const SendRecord& record, std::time_t now, int millisecond);

// Appends the record to `log_filename` in one write while holding a lock on the log file itself. False when
// the record was not written whole: the log could not be opened, its lock was not obtained within
// `lock_wait`, or the write failed. An empty name asks for no record and gives true.
[[nodiscard]] bool WriteSendRecord(const std::string& log_filename, const SendRecord& record,
                                   std::chrono::milliseconds lock_wait = kLogLockWait);

}  // namespace outlark
