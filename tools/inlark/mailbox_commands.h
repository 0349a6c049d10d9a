#pragma once
// The subcommands that work a mailbox: list, top, retrieve, scan, delete.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/inlark/mailbox_session.h"

namespace inlark_tool {

// What the chosen subcommand does once the command line is parsed; returns the exit status.
using Action = std::function<int()>;

// The parsed arguments of the mailbox subcommands; only the chosen subcommand's are filled in.
struct MailboxArguments {
    MailboxOptions options;
    bool uidl = false;
    bool json = false;  // scan: JSON lines
    std::int32_t number = 0;
    std::int32_t lines = 0;
    std::string output;
    bool parse = false;            // retrieve: print the parsed message as JSON instead of its text
    std::string save_attachments;  // retrieve --parse: save every attachment in this folder
    bool control_reading = false;  // retrieve --parse: the Pop3 control's reading, not today's standards
    std::vector<std::int32_t> numbers;
};

// `arguments` and `action` must outlive the parse and the action.
void AddMailboxCommands(CLI::App& app, MailboxArguments& arguments, Action& action);

}  // namespace inlark_tool
