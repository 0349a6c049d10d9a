#pragma once
// The interlock between copies of the agent run by one user: "DuringCheck" in the per-user settings
// store names the program folder of the copy that is checking, or is empty. A plain read then write,
// not atomic: two copies can still race within one tick.

#include <QString>

namespace mirelo {

[[nodiscard]] QString ReadDuringCheck();
void WriteDuringCheck(const QString& programFolder);

}  // namespace mirelo
