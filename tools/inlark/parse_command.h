#pragma once
// `inlark parse FILE` and the parse step of `inlark retr N --parse`: one message as JSON in UTF-8.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace inlark::tool {

struct ParseOptions {
    std::optional<std::string> save_attachments_dir{};  // save every attachment there, never overwriting
    // true: read by today's standards, every field exact in UTF-8; false: the reading the Pop3 control
    // gives with DecodeCharsets 0 (Japanese charsets only, characters outside CP932 as "?").
    bool decode_charsets = true;
};

// The switch that asks for the control's reading (decode_charsets false), on `parse` and `retrieve --parse`.
inline constexpr const char* kControlReadingFlag = "--spec-reading";

// Parses a message text (a retrieved text, or a mail file with LF or CR LF lines, with or without the
// end line) and prints the record as JSON on `out`. Problems go to `err`; the result is the exit status.
int PrintParsedMessage(std::string text, const ParseOptions& options, std::ostream& out, std::ostream& err);

// The `parse` command: args are what follows the command word.
int RunParseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace inlark::tool
