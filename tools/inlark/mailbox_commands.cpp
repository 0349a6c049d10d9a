#include "tools/inlark/mailbox_commands.h"

#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "mailcore/wide_text.h"
#include "tools/inlark/mailbox_session.h"

namespace inlark_tool {

namespace {

// The retrieved text as the server's bytes, without the end line "." that closed it.
std::string MessageBytes(inlark::Pop3& pop3) {
    std::u16string text;
    pop3.GetMessage(&text);
    std::string bytes = mailcore::WideToCp932(text);
    if (bytes.ends_with("\r\n.\r\n")) {
        bytes.resize(bytes.size() - 3);
    } else if (bytes == ".\r\n") {
        bytes.clear();
    }
    return bytes;
}

int List(const MailboxOptions& options, bool uidl) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    inlark::Pop3& pop3 = session.Pop3();
    std::int32_t result = 0;
    pop3.STAT(&result);
    if (result != 1) {
        session.ReportFailure("STAT", result);
        return 1;
    }
    std::int32_t messages = 0;
    std::u16string octets;
    pop3.GetNo(1, &messages);
    pop3.GetData(1, &octets);
    std::cout << messages << " messages, " << ToUtf8(octets) << " octets\n";
    if (uidl) {
        pop3.UIDL(0, &result);
    } else {
        pop3.LIST(0, &result);
    }
    if (result != 1) {
        session.ReportFailure(uidl ? "UIDL" : "LIST", result);
        return 1;
    }
    std::int32_t count = 0;
    pop3.GetCount(&count);
    for (std::int32_t i = 1; i <= count; ++i) {
        std::int32_t number = 0;
        std::u16string data;
        pop3.GetNo(i, &number);
        pop3.GetData(i, &data);
        std::cout << number << ' ' << ToUtf8(data) << '\n';
    }
    return session.Quit() ? 0 : 1;
}

bool WriteOut(const std::string& bytes, const std::string& path) {
    if (path.empty() || path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) std::cerr << "inlark: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

// TOP_ (lines > 0 or 0) or RETR (lines < 0) of one message, written to `output` or standard output.
int Fetch(const MailboxOptions& options, std::int32_t number, std::int32_t lines, const std::string& output) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    inlark::Pop3& pop3 = session.Pop3();
    std::int32_t result = 0;
    const bool top = lines >= 0;
    if (top) {
        pop3.TOP_(number, lines, &result);
    } else {
        pop3.RETR(number, &result);
    }
    if (result != 1) {
        session.ReportFailure((top ? "TOP " : "RETR ") + std::to_string(number), result);
        return 1;
    }
    std::string bytes = MessageBytes(pop3);
    if (!WriteOut(bytes, output)) return 1;
    std::cerr << (top ? "headers and " + std::to_string(lines) + " lines of message " : "message ") << number
              << ": " << bytes.size() << " octets"
              << (output.empty() || output == "-" ? std::string() : " written to " + output) << "\n";
    return session.Quit() ? 0 : 1;
}

int Delete(const MailboxOptions& options, const std::vector<std::int32_t>& numbers) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    for (std::int32_t number : numbers) {
        std::int32_t result = 0;
        session.Pop3().DELE(number, &result);
        if (result != 1) {
            // Leaving without QUIT keeps every message, so a partial deletion never happens.
            session.ReportFailure("DELE " + std::to_string(number), result);
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
    top->add_option("number", a.number, "message number")->required();
    top->add_option("lines", a.lines, "body lines (0 sends \"TOP n\" without a line count)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    top->callback([&] { action = [&] { return Fetch(a.options, a.number, a.lines, ""); }; });

    CLI::App* retrieve = app.add_subcommand("retrieve", "retrieve a whole message");
    AddMailboxOptions(*retrieve, a.options);
    retrieve->add_option("number", a.number, "message number")->required();
    retrieve->add_option("-o,--output", a.output, "file to write the message to (default: standard output)");
    retrieve->callback([&] { action = [&] { return Fetch(a.options, a.number, -1, a.output); }; });

    CLI::App* remove = app.add_subcommand("delete", "delete messages (all or none)");
    AddMailboxOptions(*remove, a.options);
    remove->add_option("numbers", a.numbers, "message numbers")->required();
    remove->callback([&] { action = [&] { return Delete(a.options, a.numbers); }; });
}

}  // namespace inlark_tool
