#include "tools/inlark/mailbox_session.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <map>

#include "tools/common/password_source.h"

namespace inlark_tool {

void AddMailboxOptions(CLI::App& command, MailboxOptions& options) {
    command.add_option("-s,--server", options.server, "POP3 server name (or address with --address)")
        ->required();
    command.add_option("-p,--port", options.port, "POP3 port (default: 110, or 995 with --security tls)")
        ->check(CLI::Range(1, 65535));
    command.add_option("-u,--user", options.user, "user name")->required();
    command.add_option("--password-file", options.passwordFile,
                       "file whose first line is the password (default: $INLARK_PASSWORD)");
    command.add_option("--timeout", options.timeout, "send and receive time-out in seconds")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string& value) {
                try {
                    if (std::stoll(value) >= 1) return std::string();
                } catch (const std::exception&) {
                }
                return "the time-out must be a whole number of seconds, at least 1 (not " + value + ")";
            },
            "SECONDS>=1"));
    command.add_flag("--address", options.byAddress,
                     "the server is a numeric address (needs a reverse entry)");
    command
        .add_option("--security", options.security,
                    "none (the default), stls (plain, then upgraded with STLS) or tls (TLS from the first "
                    "byte, POP3S); the certificate must name the server as given")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, inlark::Pop3Security>{{"none", inlark::Pop3Security::kNone},
                                                        {"stls", inlark::Pop3Security::kStls},
                                                        {"tls", inlark::Pop3Security::kImplicit}},
            CLI::ignore_case));
    command
        .add_option("--trust-file", options.trustFile,
                    "PEM file of the CA certificates (or the server's own certificate) to trust instead of "
                    "the system's store")
        ->check(CLI::ExistingFile);
    command
        .add_option("--auth", options.login,
                    "how to log in: user (USER and PASS, the default) or plain (AUTH PLAIN)")
        ->transform(
            CLI::CheckedTransformer(std::map<std::string, LoginMethod>{{"user", LoginMethod::kUserPass},
                                                                       {"plain", LoginMethod::kPlain}},
                                    CLI::ignore_case));
}

std::int32_t EffectivePort(const MailboxOptions& options) {
    if (options.port != 0) return options.port;
    return options.security == inlark::Pop3Security::kImplicit ? 995 : 110;
}

void MailboxSession::Report(const std::string& what, CommandKind kind, const mailcore::Failure& error,
                            std::string* failure) {
    std::string text = DescribeFailure(what, kind, error, options_.timeout);
    if (failure != nullptr) {
        *failure = std::move(text);
    } else {
        std::cerr << "inlark: " << text << "\n";
    }
}

bool MailboxSession::Open() {
    std::string problem;
    std::optional<std::string> password =
        mirelo::tool::ReadPassword(options_.passwordFile, "INLARK_PASSWORD", problem);
    if (!password) {
        std::cerr << "inlark: " << problem << "\n";
        return false;
    }
    inlark::Pop3ConnectOptions connect;
    connect.sendTimeout = connect.receiveTimeout = std::chrono::seconds(options_.timeout);
    connect.byAddress = options_.byAddress;
    connect.security = options_.security;
    connect.trustFile = options_.trustFile;
    const std::int32_t port = EffectivePort(options_);
    const std::string where = options_.server + ":" + std::to_string(port);
    if (!Check("connecting to " + where, CommandKind::kConnect,
               session_.Connect(options_.server, port, connect))) {
        return false;
    }
    std::cerr << "connected to " << where
              << (options_.security == inlark::Pop3Security::kNone ? "" : " over TLS") << "\n";
    if (!Check("logging in as " + options_.user, CommandKind::kStatus,
               options_.login == LoginMethod::kPlain ? session_.LoginPlain(options_.user, *password)
                                                     : session_.Login(options_.user, *password))) {
        return false;
    }
    std::cerr << "logged in as " << options_.user << "\n";
    return true;
}

bool MailboxSession::Quit() { return Check("QUIT", CommandKind::kStatus, session_.Quit()); }

int MailboxSession::QuitAfterReading(const std::string& done) {
    std::string failure;
    if (!Check("QUIT", CommandKind::kStatus, session_.Quit(), &failure)) {
        std::cerr << "inlark: warning: " << failure << " (" << done << ")\n";
    }
    return 0;
}

}  // namespace inlark_tool
