#pragma once
// Hands a one-shot send to a separate sender program, started directly (never through a shell).

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace outlark {

// The room of the command line, in bytes; a longer line is refused.
inline constexpr size_t kMaxExternalCommandLine = 511;

struct ExternalMail {
    std::string server, to, from, subject, body, filename;  // Shift_JIS
};

// The command line: quoted program, the log name (quoted, or the unquoted default), server, to and from
// unquoted, then subject, body and the attachment path in quotes. Nothing inside the texts is escaped.
std::string BuildExternalCommandLine(std::string_view execute_filename, std::string_view log_filename,
                                     const ExternalMail& mail);

// Splits a command line as the original platform does: blanks separate, double quotes group and are
// removed, nothing is escaped, line breaks are ordinary characters.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Starts the program named by the first argument with the arguments converted to UTF-8. Nothing when the
// line is longer than kMaxExternalCommandLine, empty, or the start failed.
std::optional<pid_t> StartCommandLine(std::string_view command_line);

// Reaps the sender programs this component started, without waiting for one (but in WaitAll).
class ChildReaper {
  public:
    void Add(pid_t pid) { children_.push_back(pid); }
    void ReapFinished();
    void WaitAll();

  private:
    std::vector<pid_t> children_;
};

// The external sender mode of a one-shot send: an empty subject or body gets a placeholder, an empty
// `execute_filename` becomes (and stays) "Outlark.exe", and the program is started without waiting for it.
// 1 whatever becomes of the program; 0 when the command line is longer than its room (nothing started).
[[nodiscard]] std::int32_t ExternalSend(std::string& execute_filename, std::string_view log_filename,
                                        ExternalMail mail, ChildReaper& reaper);

}  // namespace outlark
