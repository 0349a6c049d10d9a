#pragma once
// The record a one-shot send appends to the component's log file (LogFilename), for callers that send or
// refuse a mail themselves and want the same log.

#include <cstdint>
#include <string>

#include "mailcore/failure.h"

// As in outlark/smtp.h: default visibility inside the library and for its users.
#ifndef OUTLARK_API
#define OUTLARK_API __attribute__((visibility("default")))
#endif

namespace outlark {

struct SendLogEntry {
    std::int32_t status = 0;  // a mailcore::SendStatus
    // UTF-8; written in Shift_JIS (CP932), a character it cannot hold as "?".
    std::string server, to, from, subject, body, filename;
    // The settings the send used: time-outs in seconds, encode 0 7bit or 1 base64.
    std::int32_t port = 25, type = 0, encode = 0, header8bit = 1, width = 76;
    std::int32_t sendTimeout = 30, recvTimeout = 30, sync = 1;
};

// Appends the record under the log's lock (waiting up to 60 s). `logFile` is a UTF-8 path; empty asks for
// no record and succeeds.
OUTLARK_API mailcore::Result<void> AppendSendRecord(const std::string& logFile, const SendLogEntry& entry);

}  // namespace outlark
