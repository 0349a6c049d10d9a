#include "tools/outlark/send_command.h"

#include <cstdio>
#include <iostream>

#include "mailcore/wide_text.h"
#include "outlark/smtp.h"
#include "smtp/smtp_session.h"

namespace outlark_tool {
namespace {

std::u16string Wide(const std::string& utf8) { return mailcore::Cp932ToWide(mailcore::Utf8ToCp932(utf8)); }

// "host:port" names a port; a bare host keeps `port`.
void SplitServer(std::string& host, std::int32_t& port) {
    size_t colon = host.rfind(':');
    if (colon == std::string::npos || host.find(':') != colon) return;
    try {
        size_t used = 0;
        int value = std::stoi(host.substr(colon + 1), &used);
        if (used == host.size() - colon - 1 && value > 0 && value < 65536) {
            port = value;
            host.resize(colon);
        }
    } catch (const std::exception&) {
    }
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
    std::optional<std::string> body = ReadBody(mail.body_file);
    if (!body) {
        std::cerr << "outlark: cannot read the body from " << mail.body_file << "\n";
        return 1;
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
    smtp.SetLogFilename(Wide(server.log_file));
    std::int32_t status = 0;
    std::u16string attachment = mail.attachments.empty() ? u"" : Wide(mail.attachments.front());
    auto send = server.by_address ? &outlark::Smtp::SendMailByAddr : &outlark::Smtp::SendMail;
    (smtp.*send)(Wide(server.server), Wide(mail.to.front()), Wide(mail.from), Wide(mail.subject.value_or("")),
                 Wide(*body), attachment, &status);
    std::printf("%d %s\n", status, std::string(outlark::SendStatusText(status)).c_str());
    return status == 1 ? 0 : 1;
}

int RunExternalSender(int argc, char** argv) {
    if (argc != 7 && argc != 8) return 2;
    std::string host = argv[2];
    std::int32_t port = 25;
    SplitServer(host, port);
    outlark::Smtp smtp;
    smtp.SetPort(port);
    smtp.SetLogFilename(Wide(argv[1]));
    std::int32_t status = 0;
    smtp.SendMail(Wide(host), Wide(argv[3]), Wide(argv[4]), Wide(argv[5]), Wide(argv[6]),
                  argc == 8 ? Wide(argv[7]) : u"", &status);
    return status == 1 ? 0 : 1;
}

}  // namespace outlark_tool
