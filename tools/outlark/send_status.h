#pragma once
// What each result of the component's one-shot send means, and what the tool can find out about a failure.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace outlark_tool {

// One English sentence per SendMail result code.
std::string_view StatusMessage(std::int32_t status);

// Why MAIL FROM or RCPT TO could not even be written: an address beyond the room of the component's
// command line. Nothing when both fit. Texts are Shift_JIS.
std::optional<std::string> AddressProblem(std::string_view to, std::string_view from);

// Which of server, recipient and sender is empty or holds a line break (the -99 result).
std::string MissingArgumentCause(std::string_view server, std::string_view to, std::string_view from);

// After a failed connect (-1): the host name does not resolve, the address has no reverse entry, the
// connection is refused or unanswered, or the server took it but sent no greeting. Probes the
// server once more to tell these apart.
std::string ConnectFailureCause(const std::string& host, std::int32_t port, bool by_address,
                                std::int32_t timeout_seconds);

// "" when `port` is within 1..65535, else the complaint.
std::string PortProblem(std::int64_t port);

}  // namespace outlark_tool
