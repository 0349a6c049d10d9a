// outlark: compose or send a Japanese mail with the SMTP component; also the component's external sender.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "tools/outlark/compose_command.h"
#include "tools/outlark/mail_options.h"

int main(int argc, char** argv) {
    CLI::App app("Compose and send Japanese mail (ISO-2022-JP) with the Outlark SMTP component.", "outlark");
    app.require_subcommand(1);

    outlark_tool::MailOptions compose_options;
    std::vector<std::string> headers, cc, bc;
    std::optional<std::string> reply_to;
    CLI::App* compose = app.add_subcommand("compose", "Write the composed message to standard output");
    outlark_tool::AddMailOptions(*compose, compose_options);
    compose->add_option("--cc", cc, "Cc recipient (repeatable)");
    compose->add_option("--bc", bc, "Bc recipient (repeatable)");
    compose->add_option("--reply-to", reply_to, "Reply-To text");
    compose->add_option("-H,--header", headers, "Extra header line, e.g. \"X-Tag: 1\" (repeatable)");

    CLI11_PARSE(app, argc, argv);
    if (compose->parsed()) return outlark_tool::RunCompose(compose_options, headers, cc, bc, reply_to);
    return 2;
}
