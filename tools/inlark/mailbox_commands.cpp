#include "tools/inlark/mailbox_commands.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/inlark/mailbox_reading.h"
#include "tools/inlark/mailbox_session.h"
#include "tools/inlark/parse_command.h"
#include "tools/inlark/scan_command.h"
#include "tools/inlark/server_text.h"

namespace inlark_tool {

namespace {

int List(const MailboxOptions& options, bool uidl) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    std::optional<inlark::Pop3Totals> totals = ReadTotals(session);
    if (!totals) return 1;
    std::cout << totals->messages << " messages, " << totals->octets << " octets\n";
    std::optional<std::vector<inlark::Pop3Listed>> list = uidl ? ReadUids(session) : ReadListing(session);
    if (!list) return 1;
    for (const inlark::Pop3Listed& entry : *list) {
        std::cout << entry.number << ' ';
        if (uidl) {
            std::cout << TerminalSafe(entry.uid) << '\n';
        } else {
            std::cout << entry.octets << '\n';
        }
    }
    std::cout.flush();
    return session.QuitAfterReading("the listing above is complete");
}

bool WriteOut(const std::string& bytes, const std::string& path) {
    if (path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    // Written beside the target and renamed over it: a failed write leaves neither half a mail nor a
    // clobbered old file.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    bool ok = fd >= 0;
    if (ok) {
        ::close(fd);
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        ok = static_cast<bool>(file) && std::rename(temporary.c_str(), path.c_str()) == 0;
        if (!ok) std::remove(temporary.c_str());
    }
    if (!ok) std::cerr << "inlark: cannot write " << path << ": " << std::strerror(errno) << "\n";
    return ok;
}

// The header and `lines` body lines (TOP, lines >= 0; 0 for the header alone) or the whole message (RETR,
// lines < 0), written to `output` (as it is), or printed for the terminal, or printed parsed.
int Fetch(const MailboxOptions& options, std::int32_t number, std::int32_t lines, const std::string& output,
          const std::optional<inlark::tool::ParseOptions>& parse = std::nullopt) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    std::string bytes;
    std::string what;
    if (lines == 0) {
        std::optional<std::string> header = ReadHeader(session, number);
        if (!header) return 1;
        bytes = std::move(*header);
        what = "header of message " + std::to_string(number);
    } else {
        const std::string command = lines > 0 ? "TOP " + std::to_string(number) + " " + std::to_string(lines)
                                              : "RETR " + std::to_string(number);
        inlark::Pop3Session& pop3 = session.Session();
        std::optional<std::string> text = session.Check(
            command, CommandKind::kRetrieval, lines > 0 ? pop3.Top(number, lines) : pop3.Retrieve(number));
        if (!text) return 1;
        bytes = std::move(*text);
        what = lines > 0
                   ? "header and " + std::to_string(lines) + " lines of message " + std::to_string(number)
                   : "message " + std::to_string(number);
    }
    const std::string done = what + " was read";
    if (parse) {
        session.QuitAfterReading(done);
        return inlark::tool::PrintParsedMessage(std::move(bytes), *parse, std::cout, std::cerr);
    }
    if (output.empty()) {
        std::cout << LinesForTerminal(bytes);
        std::cout.flush();
        if (!std::cout) return 1;
    } else if (!WriteOut(bytes, output)) {
        return 1;
    }
    std::cerr << what << ": " << bytes.size() << " octets"
              << (output.empty() || output == "-" ? std::string() : " written to " + output) << "\n";
    return session.QuitAfterReading(done);
}

int Delete(const MailboxOptions& options, const std::vector<std::int32_t>& numbers) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    for (std::int32_t number : numbers) {
        // Leaving without QUIT keeps every message, so a partial deletion never happens.
        if (!session.Check("DELE " + std::to_string(number), CommandKind::kStatus,
                           session.Session().Delete(number))) {
            return 1;
        }
        std::cerr << "marked message " << number << " for deletion\n";
    }
    if (!session.Quit()) return 1;
    std::cout << "deleted " << numbers.size() << (numbers.size() == 1 ? " message\n" : " messages\n");
    return 0;
}

}  // namespace

void AddMailboxCommands(CLI::App& app, MailboxArguments& a, Action& action) {
    CLI::App* list = app.add_subcommand("list", "list the messages with their sizes (or unique ids)");
    AddMailboxOptions(*list, a.options);
    list->add_flag("--uidl", a.uidl, "list unique ids instead of sizes");
    list->callback([&] { action = [&] { return List(a.options, a.uidl); }; });

    CLI::App* top = app.add_subcommand("top", "print the header and the first lines of a message");
    AddMailboxOptions(*top, a.options);
    top->add_option("number", a.number, "message number")->required()->check(CLI::Range(1, INT32_MAX));
    top->add_option("lines", a.lines, "body lines (0: the header alone)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    top->add_option("-o,--output", a.output,
                    "file to write the text to as it is (\"-\": standard output); without it the text is "
                    "printed with control characters replaced");
    top->callback([&] { action = [&] { return Fetch(a.options, a.number, a.lines, a.output); }; });

    CLI::App* retrieve = app.add_subcommand("retrieve", "retrieve a whole message");
    AddMailboxOptions(*retrieve, a.options);
    retrieve->add_option("number", a.number, "message number")->required()->check(CLI::Range(1, INT32_MAX));
    retrieve->alias("retr");
    retrieve->add_option("-o,--output", a.output,
                         "file to write the message to as it is (\"-\": standard output); without it the "
                         "message is printed with control characters replaced");
    CLI::Option* parse = retrieve->add_flag("--parse", a.parse,
                                            "print the parsed message as JSON, every field exact in UTF-8");
    retrieve->add_option("--save-attachments", a.save_attachments, "with --parse: save the attachments here")
        ->needs(parse);
    retrieve
        ->add_flag(inlark::tool::kControlReadingFlag, a.control_reading,
                   "with --parse: the Pop3 control's own reading (Japanese charsets only, \"?\" for "
                   "characters outside CP932)")
        ->needs(parse);
    retrieve->callback([&] {
        action = [&] {
            if (!a.parse) return Fetch(a.options, a.number, -1, a.output);
            inlark::tool::ParseOptions options;
            if (!a.save_attachments.empty()) options.save_attachments_dir = a.save_attachments;
            options.decode_charsets = !a.control_reading;
            return Fetch(a.options, a.number, -1, "", options);
        };
    });

    CLI::App* scan =
        app.add_subcommand("scan", "one line per message: number, size, unique id, date, sender, subject");
    AddMailboxOptions(*scan, a.options);
    scan->add_flag("--json", a.json, "one JSON object per line instead of tab-separated fields");
    scan->callback([&] { action = [&] { return Scan(a.options, a.json); }; });

    CLI::App* remove = app.add_subcommand("delete", "delete messages (all or none)");
    AddMailboxOptions(*remove, a.options);
    remove->add_option("numbers", a.numbers, "message numbers")->required()->check(CLI::Range(1, INT32_MAX));
    remove->callback([&] { action = [&] { return Delete(a.options, a.numbers); }; });
}

}  // namespace inlark_tool
