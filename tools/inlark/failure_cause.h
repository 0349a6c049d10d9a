#pragma once
// Why a command failed, in words for the terminal, from the session's failure record: the server's own
// reply where there was one, and the cause.

#include <cstdint>
#include <string>

#include "mailcore/failure.h"

namespace inlark_tool {

enum class CommandKind {
    kConnect,   // the connection and the greeting
    kStatus,    // one status line: USER, PASS, STAT, LIST n, DELE, QUIT
    kListing,   // a status line and then lines up to ".": LIST, UIDL
    kRetrieval  // a status line and then a message: TOP, RETR
};

// "<command> failed: <cause>" in one line, safe for a terminal. `timeoutSeconds` is the receive time-out
// the command ran with.
std::string DescribeFailure(const std::string& command, CommandKind kind, const mailcore::Failure& failure,
                            std::int32_t timeoutSeconds);

}  // namespace inlark_tool
