#include "tools/outlark/send_command.h"

#include <charconv>
#include <cstdio>
#include <iostream>

#include "mailcore/wide_text.h"
#include "outlark/smtp.h"
#include "smtp/send_log.h"
#include "smtp/smtp_session.h"
#include "tools/outlark/cp932_field.h"
#include "tools/outlark/send_status.h"

namespace outlark_tool {
namespace {

// The texts of one send, Shift_JIS, and where it goes.
struct SendTexts {
    std::string server, to, from, subject, body;
    std::string filename;  // as given: "0" or empty for none
    std::int32_t port = 25;
    bool by_address = false;
};

std::u16string Wide(const std::string& sjis) { return mailcore::Cp932ToWide(sjis); }

// "host:port" names a port; a bare host (or an IPv6 address) keeps 25. The port, or nothing after a
// complaint.
std::optional<std::int64_t> SplitServer(std::string& host) {
    size_t colon = host.rfind(':');
    if (colon == std::string::npos || host.find(':') != colon) return 25;
    std::string digits = host.substr(colon + 1);
    host.resize(colon);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        std::cerr << "outlark: the port \"" << digits << "\" is not a number from 1 to 65535\n";
        return std::nullopt;
    }
    if (std::string problem = PortProblem(value); !problem.empty()) {
        std::cerr << "outlark: " << problem << "\n";
        return std::nullopt;
    }
    return value;
}

// The component writes no record for a send it refuses outright; the log should still show the attempt.
void WriteOwnRecord(const std::string& log_file, std::int32_t status, const SendTexts& texts,
                    const outlark::Smtp& smtp) {
    if (log_file.empty()) return;
    outlark::SendRecord record;
    record.status = status;
    record.server = texts.server;
    record.to = texts.to;
    record.from = texts.from;
    record.subject = texts.subject;
    record.body = texts.body;
    record.filename = texts.filename;
    record.port = texts.port;
    record.type = smtp.Type();
    record.encode = smtp.Encode() == 1 ? 2 : 0;  // the stored form
    record.header8bit = smtp.Header8bit();
    record.width = smtp.Width();
    record.send_timeout = smtp.SendTimeout();
    record.recv_timeout = smtp.RecvTimeout();
    record.sync = smtp.Sync();
    if (!outlark::WriteSendRecord(log_file, record))
        std::cerr << "outlark: warning: the send log " << log_file << " could not be written\n";
}

// Sends through the component; the status. On a failure the cause goes to standard error.
std::int32_t SendAndExplain(outlark::Smtp& smtp, const SendTexts& texts, const std::string& log_file) {
    std::int32_t status = 0;
    auto send = texts.by_address ? &outlark::Smtp::SendMailByAddr : &outlark::Smtp::SendMail;
    (smtp.*send)(Wide(texts.server), Wide(texts.to), Wide(texts.from), Wide(texts.subject), Wide(texts.body),
                 Wide(texts.filename), &status);
    if (status == outlark::kSendOk) return status;
    // The component refuses an address beyond its command line before sending it; the server never saw it.
    if (status == outlark::kSendMailRefused || status == outlark::kSendRcptRefused) {
        if (auto problem = AddressProblem(texts.to, texts.from)) {
            std::cerr << "outlark: " << *problem << "\n";
            return status;
        }
    }
    std::string cause;
    if (status == outlark::kSendMissingArgument) {
        cause = MissingArgumentCause(texts.server, texts.to, texts.from);
        WriteOwnRecord(log_file, status, texts, smtp);
    } else if (status == outlark::kSendConnectFailed) {
        cause = ConnectFailureCause(texts.server, texts.port, texts.by_address, smtp.SendTimeout());
    }
    std::cerr << "outlark: " << StatusMessage(status) << (cause.empty() ? "" : ": ") << cause << "\n";
    return status;
}

}  // namespace

int RunSend(const MailOptions& mail, const ServerOptions& server) {
    if (mail.to.size() != 1) {
        std::cerr << "outlark: send takes exactly one recipient (--to)\n";
        return 2;
    }
    if (mail.attachments.size() > 1) {
        std::cerr << "outlark: send takes at most one attachment (--attach)\n";
        return 2;
    }
    // The one-shot send has no nicknames: "Name <address>" would reach the server as the address itself.
    for (const std::string* address : {&mail.from, &mail.to.front()}) {
        if (address->find_first_of("<>") != std::string::npos) {
            std::cerr << "outlark: send takes bare addresses, not \"" << *address << "\"\n";
            return 2;
        }
    }
    if (std::string problem = PortProblem(server.port); !problem.empty()) {
        std::cerr << "outlark: " << problem << "\n";
        return 2;
    }
    std::optional<std::string> body = ReadBody(mail.body_file);
    if (!body) {
        std::cerr << "outlark: cannot read the body from " << mail.body_file << "\n";
        return 1;
    }
    SendTexts texts{FieldToCp932(server.server, "server"),
                    FieldToCp932(mail.to.front(), "To"),
                    FieldToCp932(mail.from, "From"),
                    FieldToCp932(mail.subject.value_or(""), "Subject"),
                    FieldToCp932(*body, "body"),
                    mail.attachments.empty() ? "" : FieldToCp932(mail.attachments.front(), "attachment path"),
                    server.port,
                    server.by_address};
    if (auto problem = AddressProblem(texts.to, texts.from)) {
        std::cerr << "outlark: " << *problem << "\n";
        return 2;
    }
    outlark::Smtp smtp;
    smtp.SetPort(server.port);
    smtp.SetSendTimeout(server.send_timeout);
    smtp.SetRecvTimeout(server.recv_timeout);
    smtp.SetType(mail.type);
    smtp.SetEncode(mail.encode);
    smtp.SetHeader8bit(mail.header8bit);
    smtp.SetWidth(mail.width);
    smtp.SetPriority(mail.priority);
    std::string log_file = FieldToCp932(server.log_file, "log file name");
    smtp.SetLogFilename(Wide(log_file));
    std::int32_t status = SendAndExplain(smtp, texts, log_file);
    std::printf("%d %s\n", status, std::string(StatusMessage(status)).c_str());
    return status == outlark::kSendOk ? 0 : 1;
}

int RunExternalSender(int argc, char** argv) {
    if (argc != 7 && argc != 8) return 2;
    std::string log_file = FieldToCp932(argv[1], "log file name");
    SendTexts texts{
        FieldToCp932(argv[2], "server"), FieldToCp932(argv[3], "To"),
        FieldToCp932(argv[4], "From"),   FieldToCp932(argv[5], "Subject"),
        FieldToCp932(argv[6], "body"),   argc == 8 ? FieldToCp932(argv[7], "attachment path") : ""};
    outlark::Smtp smtp;
    std::string server_as_given = texts.server;
    std::optional<std::int64_t> port = SplitServer(texts.server);
    if (!port) {
        // Nothing can be sent; the record says the connection failed, with no port.
        texts.server = server_as_given;
        texts.port = 0;
        WriteOwnRecord(log_file, outlark::kSendConnectFailed, texts, smtp);
        return 1;
    }
    texts.port = static_cast<std::int32_t>(*port);
    smtp.SetPort(texts.port);
    smtp.SetLogFilename(Wide(log_file));
    return SendAndExplain(smtp, texts, log_file) == outlark::kSendOk ? 0 : 1;
}

}  // namespace outlark_tool
