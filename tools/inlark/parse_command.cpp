#include "tools/inlark/parse_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#include "mailcore/wide_text.h"
#include "pop3/attachment_file.h"
#include "pop3/mail_date.h"
#include "pop3/message_parser.h"

namespace inlark::tool {
namespace {

using json = nlohmann::ordered_json;  // fields in reading order: sender first

// Mail files on disk usually have LF lines and no POP3 end line; the parser expects a retrieved text.
std::string AsRetrievedText(std::string text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
    if (!out.ends_with("\r\n.\r\n") && out != ".\r\n") out += ".\r\n";
    return out;
}

std::string Utf8(const std::string& sjis) { return mailcore::Cp932ToUtf8(sjis); }

json Addresses(const std::vector<AddressEntry>& list) {
    json a = json::array();
    for (const auto& e : list) a.push_back({{"name", Utf8(e.nick_name)}, {"address", e.address}});
    return a;
}

// "+0900" after the time, as "+09:00"; empty when the date has none.
std::string ZoneOf(const std::string& date_text) {
    std::size_t colon = date_text.rfind(':');
    if (colon == std::string::npos) return {};
    std::size_t space = date_text.find(' ', colon);
    if (space == std::string::npos) return {};
    std::string z = date_text.substr(space + 1, 5);
    if (z.size() != 5 || (z[0] != '+' && z[0] != '-')) return {};
    for (std::size_t i = 1; i < 5; ++i) {
        if (z[i] < '0' || z[i] > '9') return {};
    }
    return z.substr(0, 3) + ":" + z.substr(3);
}

json IsoDate(const MessageRecord& r) {
    if (AutomationDate(r.date) == 0) return nullptr;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", r.date.year, r.date.month, r.date.day,
                  r.date.hour, r.date.minute, r.date.second);
    return std::string(buf) + ZoneOf(r.date_text);
}

}  // namespace

int PrintParsedMessage(std::string text, const ParseOptions& options, std::ostream& out, std::ostream& err) {
    std::optional<MessageRecord> r = ParseMessage(AsRetrievedText(std::move(text)));
    if (!r) {
        err << "inlark: the text does not parse as a mail message (no empty line after the header lines, or "
               "a "
               "multipart message without its boundary lines)\n";
        return 1;
    }
    int status = 0;
    if (options.save_attachments_dir && !r->attachments.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(*options.save_attachments_dir, ec);
        if (ec) {
            err << "inlark: cannot create " << *options.save_attachments_dir << ": " << ec.message() << "\n";
            return 1;
        }
    }
    json attachments = json::array();
    for (std::size_t i = 0; i < r->attachments.size(); ++i) {
        const Attachment& a = r->attachments[i];
        std::optional<mailcore::Bytes> bytes = DecodeAttachment(*r, a);
        json entry = {{"index", i + 1}, {"name", Utf8(a.file_name)}, {"size", bytes ? bytes->size() : 0}};
        if (!bytes) entry["error"] = "the data does not decode (uuencoded file without its end line)";
        if (options.save_attachments_dir && bytes) {
            auto path =
                WriteFileInDirectory(*options.save_attachments_dir, SafeAttachmentFileName(a.file_name),
                                     *bytes, ExistingFile::kKeep);
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
    json headers = json::array();
    for (const auto& h : r->ex_messages) headers.push_back(Utf8(h));
    const json doc = {
        {"from", {{"name", Utf8(r->from_nick_name)}, {"address", r->from}}},
        {"reply_to", r->reply_to},
        {"to", Addresses(r->to)},
        {"cc", Addresses(r->cc)},
        {"bcc", Addresses(r->bcc)},
        {"subject", Utf8(r->subject)},
        {"date", IsoDate(*r)},
        {"date_text", r->date_text},
        {"headers", headers},
        {"body", Utf8(r->body)},
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
        } else if (!file && (args[i] == "-" || !args[i].starts_with("-"))) {
            file = args[i];
        } else {
            err << "inlark parse: unexpected argument " << args[i] << "\n";
            return 2;
        }
    }
    if (!file) {
        err << "usage: inlark parse FILE [--save-attachments DIR]\n";
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
