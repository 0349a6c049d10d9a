#pragma once
// The SMTP words, reply codes and line forms, apart from any socket.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/failure.h"

namespace outlark {

inline constexpr std::array<std::string_view, 21> kSmtpCommandTable = {
    "HELO", "EHLO", "MAIL FROM:", "RCPT TO:", "DATA", "SEND", "SOML", "SAML", "RSET", "VRFY", "EXPN",
    "HELP", "NOOP", "QUIT",       "TURN",     "MAIL", "RCPT", "VERB", "ETRN", "DSN",  "    "};

enum SmtpCommand : int {
    kHelo = 0,
    kEhlo = 1,
    kMail = 2,
    kRcpt = 3,
    kData = 4,
    kRset = 8,
    kVrfy = 9,
    kExpn = 10,
    kHelp = 11,
    kNoop = 12,
    kQuit = 13,
};

inline constexpr std::array<std::string_view, 23> kSmtpReplyTable = {
    "211", "214", "220", "221", "250", "251", "252", "354", "421", "450", "451", "452",
    "500", "501", "502", "503", "504", "550", "551", "552", "553", "554", "    "};

enum SmtpReply : int { kReply214 = 1, kReply221 = 3, kReply250 = 4, kReply354 = 7 };

enum class LineForm { kWithArgument, kAddress, kBare };

// A command line has room for 255 bytes with its CR LF.
inline constexpr size_t kMaxCommandLine = 255;

enum class CommandLineError { kNone, kLineBreak, kTooLong };

struct BuiltCommand {
    std::string line;
    CommandLineError error = CommandLineError::kNone;
};

// "word argument", "word<argument>" or "word", with CR LF. An argument holding CR, LF or NUL would smuggle
// a second command and is refused, as is a line beyond its room.
BuiltCommand BuildCommandLine(SmtpCommand command, LineForm form, std::string_view argument);

// The reply's first three characters are the expected code.
bool ReplyHasCode(std::string_view reply, SmtpReply code);

// One item per CR of a multi-line reply: a line starting with blanks loses them, any other line loses its
// first four characters (code and separator); items end before the CR.
std::vector<std::string> ParseReplyLines(std::string_view reply);

// The command as a failure record names it: its word without the colon ("MAIL FROM", "RCPT TO", "EHLO").
std::string_view CommandName(SmtpCommand command);

// How a reply that is not the expected one is recorded: NegativeReply when it starts with a reply code
// (three digits, then a space, a hyphen or the line end), MalformedReply otherwise.
mailcore::FailureKind ReplyFailureKind(std::string_view reply);

// True when `text` holds CR, LF or NUL, which must never reach a command line.
bool HasLineBreak(std::string_view text);

}  // namespace outlark
