// outlark: compose or send a Japanese mail with the SMTP component; also the component's external sender.
#include <CLI/CLI.hpp>
#include <cstring>
#include <string>
#include <vector>

#include "compose_command.h"
#include "mail_options.h"
#include "send_command.h"

namespace {

// The component's external sender mode starts us with LOG SERVER TO FROM SUBJECT BODY [FILENAME].
bool IsExternalSenderCall(int argc, char** argv) {
    if (argc != 7 && argc != 8) return false;
    return std::strcmp(argv[1], "compose") != 0 && std::strcmp(argv[1], "send") != 0 && argv[1][0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
    if (IsExternalSenderCall(argc, argv)) return outlark_tool::RunExternalSender(argc, argv);

    CLI::App app(
        "Compose and send Japanese mail (ISO-2022-JP) with the Outlark SMTP component.\n"
        "Also: outlark LOGFILE SERVER[:PORT] TO FROM SUBJECT BODY [ATTACHMENT], the external sender "
        "command line of the component's Sync = 2 mode.",
        "outlark");
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

    outlark_tool::MailOptions send_options;
    outlark_tool::ServerOptions server;
    CLI::App* send =
        app.add_subcommand("send", "Send one mail in one SMTP conversation and report the status");
    outlark_tool::AddMailOptions(*send, send_options);
    send->add_option("-S,--server", server.server, "SMTP server name (or dotted address with --by-addr)")
        ->required();
    send->add_option("-p,--port", server.port, "SMTP port")->capture_default_str();
    send->add_option("--send-timeout", server.send_timeout, "Send time-out in seconds")
        ->capture_default_str();
    send->add_option("--recv-timeout", server.recv_timeout, "Receive time-out in seconds")
        ->capture_default_str();
    send->add_flag("--by-addr", server.by_address, "Connect by dotted address with a reverse look-up");
    send->add_option("--log", server.log_file, "Append the send record to this file");
    send->add_option("--security", server.security,
                     "none; starttls: STARTTLS after EHLO (refused if not offered); tls: TLS from the first "
                     "byte (SMTPS, usually port 465)")
        ->check(CLI::IsMember({"none", "starttls", "tls"}))
        ->capture_default_str();
    send->add_option("--trust-file", server.trust_file,
                     "PEM file of the CA certificates (or the server's certificate) to trust instead of the "
                     "system's store");
    send->add_option("--user", server.user,
                     "Log in with AUTH (PLAIN or LOGIN as the server offers) as this user; the password "
                     "comes from $OUTLARK_PASSWORD or --password-file, never the command line");
    send->add_option("--password-file", server.password_file,
                     "File whose first line is the password for --user (default: $OUTLARK_PASSWORD)");

    CLI11_PARSE(app, argc, argv);
    if (compose->parsed()) return outlark_tool::RunCompose(compose_options, headers, cc, bc, reply_to);
    if (send->parsed()) return outlark_tool::RunSend(send_options, server);
    return 2;
}
