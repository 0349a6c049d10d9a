#include "smtp/smtp_secure.h"

#include <algorithm>
#include <cctype>

#include "mailcore/base64_encode.h"

namespace outlark {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The words of an EHLO item, split at blanks (and at "=", which older servers put after AUTH).
std::vector<std::string_view> Words(std::string_view item) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < item.size()) {
        size_t start = item.find_first_not_of(" \t=", pos);
        if (start == item.npos) break;
        size_t end = std::min(item.find_first_of(" \t=", start), item.size());
        words.push_back(item.substr(start, end - start));
        pos = end;
    }
    return words;
}

// The code is the reply's first three bytes, followed by a separator or the line end.
bool HasCode(std::string_view reply, std::string_view code) {
    return reply.size() >= 3 && reply.substr(0, 3) == code &&
           (reply.size() == 3 || reply[3] == ' ' || reply[3] == '-' || reply[3] == '\r' || reply[3] == '\n');
}

// Sends `line` and reads the reply up to its final line; the status line goes to `last_reply`. `detail`
// names the step in a failure record, never the line itself (it may hold a credential).
bool Exchange(mailcore::LineTransport& transport, std::string_view line, std::string_view detail,
              SmtpResults& results) {
    results.last_reply.clear();
    if (!Sent(transport, line, detail, results)) return false;
    std::optional<std::string> reply = ReadFinalLine(transport);
    if (!reply) {
        RecordTransportFailure(transport, detail, results);
        return false;
    }
    results.last_reply = reply->substr(0, kLastReplyRoom);
    return true;
}

bool Expect(std::string_view code, std::string_view detail, SmtpResults& results) {
    if (HasCode(results.last_reply, code)) return true;
    RecordRefusal(results.last_reply, detail, results);
    return false;
}

bool Step(mailcore::LineTransport& transport, std::string_view line, std::string_view code,
          std::string_view detail, SmtpResults& results) {
    return Exchange(transport, line, detail, results) && Expect(code, detail, results);
}

std::string Line(std::string_view text) { return std::string(text) + "\r\n"; }

}  // namespace

bool OffersExtension(const std::vector<std::string>& ehlo_lines, std::string_view keyword) {
    return std::any_of(ehlo_lines.begin(), ehlo_lines.end(), [&](const std::string& item) {
        std::vector<std::string_view> words = Words(item);
        return !words.empty() && SameWord(words.front(), keyword);
    });
}

AuthMechanism ChooseAuthMechanism(const std::vector<std::string>& ehlo_lines) {
    bool plain = false;
    bool login = false;
    for (const std::string& item : ehlo_lines) {
        std::vector<std::string_view> words = Words(item);
        if (words.empty() || !SameWord(words.front(), "AUTH")) continue;
        for (std::string_view word : words) {
            plain = plain || SameWord(word, "PLAIN");
            login = login || SameWord(word, "LOGIN");
        }
    }
    return plain ? AuthMechanism::kPlain : login ? AuthMechanism::kLogin : AuthMechanism::kNone;
}

std::int32_t RunStartTls(mailcore::LineTransport& transport, const TlsUpgrade& upgrade,
                         SmtpResults& results) {
    if (!Step(transport, "STARTTLS\r\n", "220", "STARTTLS", results)) return kCommandFailed;
    if (!upgrade || !upgrade()) {
        // The upgrade names the host and the reason in its own record.
        results.failure = transport.LastFailure();
        if (!results.failure.IsFailure())
            results.failure = {mailcore::FailureKind::TlsHandshake, 0, {}, "STARTTLS"};
        return kCommandFailed;
    }
    return kCommandOk;
}

GreetingOutcome RunEhloGreeting(mailcore::LineTransport& transport, std::string_view domain, bool start_tls,
                                const TlsUpgrade& upgrade, SmtpResults& results) {
    if (RunListCommand(transport, kEhlo, domain, results, false) != kCommandOk)
        return GreetingOutcome::kEhloRefused;
    if (!start_tls) return GreetingOutcome::kOk;
    if (!OffersExtension(results.reply_lines, "STARTTLS")) {
        results.failure = {
            mailcore::FailureKind::TlsHandshake, 0, {}, "STARTTLS (not offered by the server)"};
        return GreetingOutcome::kTlsFailed;
    }
    // What the server said before TLS may have been forged on the way: none of it is kept.
    results.reply_lines.clear();
    if (RunStartTls(transport, upgrade, results) != kCommandOk) return GreetingOutcome::kTlsFailed;
    results.last_reply.clear();
    if (RunListCommand(transport, kEhlo, domain, results, false) != kCommandOk)
        return GreetingOutcome::kEhloRefused;
    return GreetingOutcome::kOk;
}

std::int32_t RunAuth(mailcore::LineTransport& transport, const std::vector<std::string>& ehlo_lines,
                     std::string_view user, std::string_view password, SmtpResults& results) {
    results.last_reply.clear();
    const AuthMechanism mechanism = ChooseAuthMechanism(ehlo_lines);
    if (mechanism == AuthMechanism::kNone) {
        results.failure = {
            mailcore::FailureKind::NegativeReply, 0, {}, "AUTH (neither PLAIN nor LOGIN offered)"};
        for (const std::string& item : ehlo_lines) {
            std::vector<std::string_view> words = Words(item);
            if (!words.empty() && SameWord(words.front(), "AUTH")) results.failure.reply = item;
        }
        return kCommandFailed;
    }
    if (user.find('\0') != user.npos || password.find('\0') != password.npos) {
        results.failure = {
            mailcore::FailureKind::BadArgument, 0, {}, "AUTH (the user or password holds NUL)"};
        return kCommandFailed;
    }
    if (mechanism == AuthMechanism::kPlain) {
        std::string credentials;
        credentials.append(1, '\0').append(user).append(1, '\0').append(password);
        return Step(transport, Line("AUTH PLAIN " + mailcore::Base64Encode(credentials)), "235", "AUTH PLAIN",
                    results)
                   ? kCommandOk
                   : kCommandFailed;
    }
    constexpr std::string_view kLogin = "AUTH LOGIN";
    const bool ok = Step(transport, Line(kLogin), "334", kLogin, results) &&
                    Step(transport, Line(mailcore::Base64Encode(user)), "334", kLogin, results) &&
                    Step(transport, Line(mailcore::Base64Encode(password)), "235", kLogin, results);
    return ok ? kCommandOk : kCommandFailed;
}

}  // namespace outlark
