#pragma once
// The failure record of one SMTP step, from what the engine recorded and the reply that came back.

#include <string_view>

#include "mailcore/failure.h"

namespace outlark {

// `recorded` is the engine's own record, used first when it names a cause. Otherwise: cancelled, no reply
// at all (`reply` empty, or only the 354 go-ahead of DATA), or a reply without the expected code: a
// NegativeReply for 4xx and 5xx, a MalformedReply for anything else. `step` names what was being done.
mailcore::Failure StepFailure(const mailcore::Failure& recorded, std::string_view step,
                              std::string_view reply, bool cancelled);

// A connect that gave no session: the engine's record, a cancel, or the bare fact (NotConnected), with
// `what` ("connect to mx.example") as the detail when the record has none.
mailcore::Failure ConnectFailure(const mailcore::Failure& recorded, std::string_view what, bool cancelled);

// The reply line without its line end.
std::string_view WithoutLineEnd(std::string_view reply);

}  // namespace outlark
