#include "smtp/smtp_failure.h"

namespace outlark {

std::string_view WithoutLineEnd(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
    return reply;
}

mailcore::Failure ConnectFailure(const mailcore::Failure& recorded, std::string_view what, bool cancelled) {
    mailcore::Failure failure = recorded;
    if (!failure.IsFailure())
        failure.kind = cancelled ? mailcore::FailureKind::Cancelled : mailcore::FailureKind::NotConnected;
    if (failure.detail.empty()) failure.detail = what;
    return failure;
}

mailcore::Failure StepFailure(const mailcore::Failure& recorded, std::string_view step,
                              std::string_view reply, bool cancelled) {
    mailcore::Failure failure;
    if (recorded.IsFailure()) {
        failure = recorded;
    } else if (cancelled) {
        failure.kind = mailcore::FailureKind::Cancelled;
    } else if (reply.empty() || reply.starts_with("354")) {
        // Time-out, close or an over-long line: the transport did not say which.
        failure.kind = mailcore::FailureKind::Io;
        failure.detail = std::string(step) + " (no reply)";
        return failure;
    } else {
        const bool negative = reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5') && reply[1] >= '0' &&
                              reply[1] <= '9' && reply[2] >= '0' && reply[2] <= '9';
        failure.kind =
            negative ? mailcore::FailureKind::NegativeReply : mailcore::FailureKind::MalformedReply;
        failure.reply = WithoutLineEnd(reply);
    }
    if (failure.detail.empty()) failure.detail = step;
    return failure;
}

}  // namespace outlark
