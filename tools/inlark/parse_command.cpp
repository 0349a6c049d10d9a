#include "tools/inlark/parse_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#include "inlark/message.h"

namespace inlark::tool {
namespace {

using json = nlohmann::ordered_json;  // fields in reading order: sender first

// A retrieved text saved to a file may still end with the POP3 end line; it is no part of the message.
std::string_view WithoutEndLine(std::string_view text) {
    if (text == ".\r\n" || text == ".\n") return {};
    for (std::string_view end : {".\r\n", ".\n"}) {
        if (text.ends_with(end) && text.substr(0, text.size() - end.size()).ends_with('\n')) {
            return text.substr(0, text.size() - end.size());
        }
    }
    return text;
}

json Addresses(const std::vector<MailAddress>& list) {
    json a = json::array();
    for (const auto& e : list) a.push_back({{"name", e.nickname}, {"address", e.address}});
    return a;
}

}  // namespace

int PrintParsedMessage(std::string text, const ParseOptions& options, std::ostream& out, std::ostream& err) {
    mailcore::Result<Message> parsed =
        ParseMessage(WithoutEndLine(text), inlark::ParseOptions{.decodeCharsets = options.decode_charsets});
    if (!parsed) {
        err << "inlark: " << parsed.error().detail << "\n";
        return 1;
    }
    const Message& r = *parsed;
    int status = 0;
    if (options.save_attachments_dir && !r.attachments.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(*options.save_attachments_dir, ec);
        if (ec) {
            err << "inlark: cannot create " << *options.save_attachments_dir << ": " << ec.message() << "\n";
            return 1;
        }
    }
    json attachments = json::array();
    for (std::size_t i = 0; i < r.attachments.size(); ++i) {
        const MailAttachment& a = r.attachments[i];
        json entry = {{"index", i + 1}, {"name", a.name}, {"size", a.bytes.size()}};
        if (!a.complete) entry["error"] = "the data does not decode (uuencoded file without its end line)";
        if (options.save_attachments_dir && a.complete) {
            mailcore::Result<std::string> path = SaveAttachment(a, *options.save_attachments_dir);
            if (path) {
                entry["saved_as"] = *path;
            } else {
                err << "inlark: cannot write attachment " << i + 1 << " into "
                    << *options.save_attachments_dir << "\n";
                status = 1;
            }
        } else if (options.save_attachments_dir) {
            err << "inlark: attachment " << i + 1 << " does not decode; not saved\n";
            status = 1;
        }
        attachments.push_back(std::move(entry));
    }
    const json doc = {
        {"from", {{"name", r.fromNickname}, {"address", r.from}}},
        {"reply_to", r.replyTo},
        {"to", Addresses(r.to)},
        {"cc", Addresses(r.cc)},
        {"bcc", Addresses(r.bcc)},
        {"subject", r.subject},
        {"date", r.dateIso.empty() ? json(nullptr) : json(r.dateIso)},
        {"date_text", r.dateText},
        {"headers", r.exMessages},
        {"body", r.body},
        {"attachments", attachments},
    };
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return status;
}

int RunParseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ParseOptions options;
    std::optional<std::string> file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--save-attachments") {
            if (i + 1 >= args.size()) {
                err << "inlark parse: --save-attachments needs a directory\n";
                return 2;
            }
            options.save_attachments_dir = args[++i];
        } else if (args[i] == kControlReadingFlag) {
            options.decode_charsets = false;
        } else if (!file && (args[i] == "-" || !args[i].starts_with("-"))) {
            file = args[i];
        } else {
            err << "inlark parse: unexpected argument " << args[i] << "\n";
            return 2;
        }
    }
    if (!file) {
        err << "usage: inlark parse FILE [" << kControlReadingFlag << "] [--save-attachments DIR]\n";
        return 2;
    }
    std::ostringstream content;
    if (*file == "-") {
        content << std::cin.rdbuf();
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(*file, ec)) {
            err << "inlark: cannot read " << *file << ": it is a directory\n";
            return 1;
        }
        std::ifstream in(*file, std::ios::binary);
        if (!in) {
            err << "inlark: cannot read " << *file << ": " << std::generic_category().message(errno) << "\n";
            return 1;
        }
        content << in.rdbuf();
        if (in.bad()) {
            err << "inlark: cannot read " << *file << "\n";
            return 1;
        }
    }
    return PrintParsedMessage(std::move(content).str(), options, out, err);
}

}  // namespace inlark::tool
