// inlark: the POP3 component from the command line. Each subcommand registers itself here.

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "tools/inlark/mailbox_commands.h"
#include "tools/inlark/parse_command.h"

int main(int argc, char** argv) {
    CLI::App app{"inlark: list, read, delete and parse the messages of a POP3 mailbox"};
    app.require_subcommand(1);
    inlark_tool::Action action;
    inlark_tool::MailboxArguments mailbox;
    inlark_tool::AddMailboxCommands(app, mailbox, action);

    // parse reads its own arguments: everything after the word goes to it.
    CLI::App* parse = app.add_subcommand(
        "parse", std::string("parse FILE [") + inlark::tool::kControlReadingFlag +
                     "] [--save-attachments DIR]: print a mail file as JSON, every field exact in UTF-8 "
                     "(FILE - reads standard input); " +
                     inlark::tool::kControlReadingFlag +
                     " shows the Pop3 control's own reading instead (Japanese charsets only, \"?\" for "
                     "characters outside CP932)");
    parse->prefix_command();
    parse->set_help_flag();
    parse->callback([&] {
        action = [parse] { return inlark::tool::RunParseCommand(parse->remaining(), std::cout, std::cerr); };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Every usage problem, a refused --timeout among them, exits with 2.
        return app.exit(error) == 0 ? 0 : 2;
    }
    return action ? action() : 2;
}
