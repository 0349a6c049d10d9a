#include "testing/mail_servers_env/smtp_delivery.h"

#include <chrono>

#include "testing/mail_servers_env/line_connection.h"

namespace mirelo::mail_servers {
namespace {

// Reads a possibly multi-line reply ("250-..." lines, then "250 ..."); empty string when its code matches.
std::string Expect(LineConnection& conn, std::string_view code, const std::string& step) {
    std::string line;
    std::string reply;
    for (;;) {
        if (std::string error = conn.ReadLine(&line); !error.empty()) return step + ": " + error;
        reply += line;
        if (line.size() < 4 || line[3] != '-') break;
        reply += " | ";
    }
    if (!reply.starts_with(code)) return step + ": server replied \"" + reply + "\"";
    return {};
}

std::string Command(LineConnection& conn, const std::string& line, std::string_view code) {
    if (std::string error = conn.Send(line + "\r\n"); !error.empty()) return line + ": " + error;
    return Expect(conn, code, line);
}

// CR LF line ends and a leading "." doubled (RFC 5321 4.5.2), then the end-of-data line.
std::string DataBlock(const std::string& message) {
    std::string out;
    out.reserve(message.size() + message.size() / 32 + 8);
    bool lineStart = true;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (lineStart && c == '.') out += '.';
        if (c == '\n') {
            if (out.empty() || out.back() != '\r') out += '\r';
            out += '\n';
            lineStart = true;
            continue;
        }
        out += c;
        lineStart = false;
    }
    if (!lineStart) out += "\r\n";
    out += ".\r\n";
    return out;
}

}  // namespace

std::string DeliverMail(const MailServersEnv& env, const std::string& from,
                        const std::vector<std::string>& recipients, const std::string& message) {
    LineConnection conn;
    // A 9 MiB message through a busy Postfix can take a while to be acknowledged.
    if (std::string error = conn.Connect(env.host, env.smtpPort, std::chrono::seconds(60)); !error.empty()) {
        return error;
    }
    if (std::string error = Expect(conn, "220", "greeting"); !error.empty()) return error;
    if (std::string error = Command(conn, "EHLO mirelo-tests", "250"); !error.empty()) return error;
    if (std::string error = Command(conn, "MAIL FROM:<" + from + ">", "250"); !error.empty()) return error;
    for (const std::string& to : recipients) {
        if (std::string error = Command(conn, "RCPT TO:<" + to + ">", "250"); !error.empty()) return error;
    }
    if (std::string error = Command(conn, "DATA", "354"); !error.empty()) return error;
    if (std::string error = conn.Send(DataBlock(message)); !error.empty()) return "message data: " + error;
    if (std::string error = Expect(conn, "250", "end of data"); !error.empty()) return error;
    (void)Command(conn, "QUIT", "221");  // the mail is queued already
    return {};
}

std::string SimpleMessage(const std::string& from, const std::string& to, const std::string& subject,
                          const std::string& body) {
    // Postfix adds the Message-ID.
    return "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 12:00:00 +0900\r\n\r\n" + body;
}

}  // namespace mirelo::mail_servers
