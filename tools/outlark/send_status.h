#pragma once
// What each result of a one-shot send means, and what the tool can find out about a failed connect.

#include <cstdint>
#include <string>
#include <string_view>

#include "mailcore/failure.h"

namespace outlark_tool {

// One English sentence per SendMail result code.
std::string_view StatusMessage(std::int32_t status);

// After a failed connect (-1): the host name does not resolve, the address has no reverse entry, the
// connection is refused or unanswered, or the server took it but sent no greeting. Told by the failure
// record where it names the cause; otherwise the server is probed once more to tell these apart.
std::string ConnectFailureCause(const std::string& host, std::int32_t port, bool by_address,
                                std::int32_t timeout_seconds, const mailcore::Failure& failure);

// "" when `port` is within 1..65535, else the complaint.
std::string PortProblem(std::int64_t port);

}  // namespace outlark_tool
