#include "testing/mail_servers_env/mail_servers_env.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace mirelo::mail_servers {
namespace {

using Values = std::map<std::string, std::string, std::less<>>;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string Require(const Values& values, const std::string& key, std::string* out) {
    const auto it = values.find(key);
    if (it == values.end() || it->second.empty()) return "missing " + key;
    *out = it->second;
    return {};
}

std::string RequirePort(const Values& values, const std::string& key, int* out) {
    std::string text;
    if (std::string error = Require(values, key, &text); !error.empty()) return error;
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
        return key + " is not a port: " + text;
    }
    *out = port;
    return {};
}

}  // namespace

const Mailbox* MailServersEnv::Find(std::string_view user) const {
    for (const Mailbox& box : mailboxes) {
        if (box.user == user) return &box;
    }
    return nullptr;
}

std::string ParseMailServersEnv(std::string_view text, MailServersEnv* env) {
    Values values;
    int lineNo = 0;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        ++lineNo;
        if (line.empty() || line.front() == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return "line " + std::to_string(lineNo) + " is not KEY=VALUE: " + std::string(line);
        }
        std::string_view value = line.substr(eq + 1);
        // The file is also sourced by shells, which may see the values quoted.
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        values.insert_or_assign(std::string(line.substr(0, eq)), std::string(value));
    }

    MailServersEnv parsed;
    std::string names;
    for (std::string error :
         {Require(values, "MIRELO_HOST", &parsed.host),
          RequirePort(values, "MIRELO_POP3_PORT", &parsed.pop3Port),
          RequirePort(values, "MIRELO_SMTP_PORT", &parsed.smtpPort),
          RequirePort(values, "MIRELO_POP3S_PORT", &parsed.pop3sPort),
          RequirePort(values, "MIRELO_SMTPS_PORT", &parsed.smtpsPort),
          RequirePort(values, "MIRELO_SUBMISSION_PORT", &parsed.submissionPort),
          Require(values, "MIRELO_CA_FILE", &parsed.caFile),
          Require(values, "MIRELO_MAIL_DOMAIN", &parsed.domain),
          Require(values, "MIRELO_SERVERS_LOGS", &parsed.logsDir),
          Require(values, "MIRELO_LOCKS", &parsed.locksDir), Require(values, "MIRELO_MAILBOXES", &names)}) {
        if (!error.empty()) return error;
    }
    std::stringstream list(names);
    std::string name;
    while (std::getline(list, name, ',')) {
        if (name.empty()) return "MIRELO_MAILBOXES has an empty name: " + names;
        const std::string prefix = "MIRELO_" + Upper(name) + "_";
        Mailbox box;
        for (std::string error : {Require(values, prefix + "USER", &box.user),
                                  Require(values, prefix + "PASSWORD", &box.password),
                                  Require(values, prefix + "ADDRESS", &box.address),
                                  Require(values, prefix + "MAILDIR", &box.maildir)}) {
            if (!error.empty()) return error;
        }
        parsed.mailboxes.push_back(std::move(box));
    }
    *env = std::move(parsed);
    return {};
}

std::string LoadMailServersEnv(const std::string& path, MailServersEnv* env) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path;
    std::ostringstream text;
    text << in.rdbuf();
    if (std::string error = ParseMailServersEnv(text.str(), env); !error.empty()) return path + ": " + error;
    return {};
}

std::optional<MailServersEnv> BenchmarkServers(const char* program) {
    const char* path = std::getenv(kEnvVariable);
    if (path == nullptr || *path == '\0') {
        std::printf("%s: skipped, no real servers (%s is not set; ./dev bench starts them)\n", program,
                    kEnvVariable);
        return std::nullopt;
    }
    MailServersEnv env;
    if (std::string error = LoadMailServersEnv(path, &env); !error.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        std::exit(1);
    }
    return env;
}

}  // namespace mirelo::mail_servers
