#include "tools/inlark/failure_cause.h"

#include "tools/inlark/server_text.h"

namespace inlark_tool {

namespace {

std::string ArgumentProblem(std::int32_t result) {
    switch (result) {
        case -1:
            return "busy";
        case -2:
            return "bad argument (nothing was sent)";
        case -3:
            return "user name longer than 32 bytes";
        case -4:
            return "password longer than 32 bytes";
        case -5:
            return "already connected";
    }
    return "result " + std::to_string(result);
}

// The receive time-out bounds each silence, so a failure sooner than it cannot be one.
std::string Silent(const CommandFailure& f, const std::string& what) {
    if (f.elapsed >= std::chrono::seconds(f.timeoutSeconds)) {
        return "no " + what + " within " + std::to_string(f.timeoutSeconds) +
               " seconds (or the connection closed)";
    }
    return "the connection closed before the " + what + " came";
}

}  // namespace

std::string DescribeFailure(const CommandFailure& f) {
    const std::string head = f.command + " failed: ";
    if (f.result < 0) return head + ArgumentProblem(f.result);
    const std::string reply = TerminalSafe(f.reply);
    if (f.reply.starts_with("-ERR")) return head + "the server refused it: " + reply;
    switch (f.kind) {
        case CommandKind::kConnect:
            if (f.reply.empty() && f.elapsed >= std::chrono::seconds(f.timeoutSeconds)) {
                return head + "no connection or greeting within " + std::to_string(f.timeoutSeconds) +
                       " seconds";
            }
            if (f.reply.empty()) {
                return head +
                       "no connection (name unknown, without a reverse entry, or connection refused) "
                       "or it closed before the greeting";
            }
            break;
        case CommandKind::kListing:
            if (f.reply.starts_with("+OK")) {
                return head + "the listing broke off after \"" + reply + "\": longer than 10 MiB, or " +
                       Silent(f, "rest of it");
            }
            break;
        case CommandKind::kRetrieval:
            // The component drops the status line of a failed retrieval; what is left is its timing.
            if (f.elapsed >= std::chrono::seconds(f.timeoutSeconds)) return head + Silent(f, "reply");
            return head +
                   "the server refused it, closed the connection, or sent more than 10 MiB "
                   "(the component keeps no reply text for a failed retrieval)";
        case CommandKind::kStatus:
            if (f.reply.starts_with("+OK")) return head + "the reply does not read as expected: " + reply;
            break;
    }
    if (f.reply.empty()) return head + Silent(f, "reply");
    return head + "unexpected reply: " + reply;
}

}  // namespace inlark_tool
