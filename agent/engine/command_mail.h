#pragma once
// Reading a command mail: the pieces of text the examination of one message takes apart. A line break is
// CR LF; comparisons are exact; trimming removes ASCII spaces only.

#include <QString>
#include <cstdint>
#include <optional>

namespace mirelo {

// A destination the agent accepts: one "@", not first, and no ",".
[[nodiscard]] bool IsValidAddress(const QString& address);

// The size in a LIST reply: what follows its last space, up to a line break; "???" without a space.
[[nodiscard]] QString SizeFromListReply(const QString& reply);

struct HeaderText {
    QString text;          // the header with its Content-Type line made plain text
    bool nonText = false;  // the mail's own Content-Type was not text
};

// The retrieved header and first lines, with the first "Content-Type:" line replaced by a plain
// ISO-2022-JP one, so that a cut-off multipart mail still parses; its own type is kept as `nonText`.
[[nodiscard]] HeaderText ForceTextContentType(const QString& topText);

struct CommandText {
    QString word;
    QString arguments;  // the first line holds the command's arguments, the second an address
};

// The command written as the first word of the body.
[[nodiscard]] CommandText CommandFromBody(const QString& body);
// The command written as the first word of the Subject; the body follows its arguments.
[[nodiscard]] CommandText CommandFromSubject(const QString& subject, const QString& body);

// The arguments' first line (all of them without a line break).
[[nodiscard]] QString FirstLine(const QString& arguments);
// The trimmed line after the first line break; nothing without a line break.
[[nodiscard]] std::optional<QString> AddressLine(const QString& arguments);

// One line of the mail list, without its line break.
[[nodiscard]] QString ListLine(std::int16_t number, const QString& subject, const QString& size,
                               const QString& sender, bool nonText);

}  // namespace mirelo
