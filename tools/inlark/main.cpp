// inlark: works a POP3 mailbox from the command line through libinlark. Each subcommand registers itself
// here; add new ones beside the mailbox commands.

#include <CLI/CLI.hpp>

#include "tools/inlark/mailbox_commands.h"

int main(int argc, char** argv) {
    CLI::App app{"inlark: list, read and delete the messages of a POP3 mailbox"};
    app.require_subcommand(1);
    inlark_tool::Action action;
    inlark_tool::MailboxArguments mailbox;
    inlark_tool::AddMailboxCommands(app, mailbox, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    return action ? action() : 2;
}
