#pragma once
// Why a command failed, told from what the component gives back today: its result code, the reply line
// it kept and how long the command took. A failure record from the component will replace the guessing
// here; this is the one place that reads those facts.

#include <chrono>
#include <cstdint>
#include <string>

namespace inlark_tool {

enum class CommandKind {
    kConnect,   // ConnectByName, ConnectByAddr: the connection and the greeting
    kStatus,    // one status line: USER, PASS, STAT, LIST n, DELE, QUIT
    kListing,   // a status line and then lines up to ".": LIST, UIDL
    kRetrieval  // TOP, RETR: the component keeps no reply line when they fail
};

struct CommandFailure {
    std::string command;  // "RETR 3"
    CommandKind kind = CommandKind::kStatus;
    std::int32_t result = 0;  // the component's pVal
    std::string reply;        // the reply line kept (UTF-8, without CR LF), before cleaning
    std::chrono::milliseconds elapsed{0};
    std::int32_t timeoutSeconds = 0;
};

// "<command> failed: <cause>" in one line, safe for a terminal.
std::string DescribeFailure(const CommandFailure& failure);

}  // namespace inlark_tool
