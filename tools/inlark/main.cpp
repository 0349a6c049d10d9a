// inlark: works a POP3 mailbox from the command line through libinlark. Each subcommand registers itself
// here; add new ones beside the mailbox commands.

#include <CLI/CLI.hpp>
#include <iostream>

#include "tools/inlark/mailbox_commands.h"
#include "tools/inlark/parse_command.h"

namespace {

void AddParseCommand(CLI::App& app, std::vector<std::string>& arguments, inlark_tool::Action& action) {
    auto* parse =
        app.add_subcommand("parse", "print a mail file as JSON in UTF-8 (FILE - reads standard input)");
    parse->allow_extras();
    parse->prefix_command();
    parse->callback([&arguments, &action, parse] {
        arguments = parse->remaining();
        action = [&arguments] { return inlark::tool::RunParseCommand(arguments, std::cout, std::cerr); };
    });
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"inlark: list, read and delete the messages of a POP3 mailbox"};
    app.require_subcommand(1);
    inlark_tool::Action action;
    inlark_tool::MailboxArguments mailbox;
    std::vector<std::string> parse_arguments;
    inlark_tool::AddMailboxCommands(app, mailbox, action);
    AddParseCommand(app, parse_arguments, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    return action ? action() : 2;
}
