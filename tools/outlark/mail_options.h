#pragma once
// The options that describe one mail, shared by the compose and send commands. Texts are UTF-8.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace outlark_tool {

struct MailOptions {
    std::string from;
    std::vector<std::string> to;
    std::optional<std::string> subject;
    std::string body_file = "-";  // "-" is standard input
    std::vector<std::string> attachments;
    std::int32_t type = 0;
    std::int32_t encode = 0;
    std::int32_t header8bit = 1;
    std::int32_t width = 76;
    std::int32_t priority = 3;
    bool utf8 = false;
};

void AddMailOptions(CLI::App& command, MailOptions& options);

// The body text, or nothing when the file cannot be read.
std::optional<std::string> ReadBody(const std::string& body_file);

}  // namespace outlark_tool
