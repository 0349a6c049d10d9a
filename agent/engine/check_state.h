#pragma once
// The record of one check: the requests found while examining the mailbox, answered after it.

#include <QString>
#include <cstdint>

namespace mirelo {

// Which list the phone asked for; All wins over Latest within one check.
enum class ListRequest : int { None = 0, All = 1, Latest = 2 };

struct CheckState {
    ListRequest ListKind = ListRequest::None;
    QString ListAddress;
    bool BodyRequested = false;
    QString BodyNumbers;  // every body request's first line, each followed by ","
    bool DeleteRequested = false;
    QString DeleteNumbers;
    bool QuitRequested = false;
    std::int16_t MailNumber = 1;  // the list number of the next ordinary mail
};

}  // namespace mirelo
