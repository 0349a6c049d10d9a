#pragma once
// The secured start of an SMTP session over a line transport: STARTTLS with an upgrade the caller supplies,
// the EHLO over TLS after it, and AUTH PLAIN or LOGIN as the server's EHLO offers.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/line_transport.h"
#include "smtp/smtp_session.h"

namespace outlark {

// The EHLO items name the extension (its first word, in any case): "STARTTLS", "AUTH".
bool OffersExtension(const std::vector<std::string>& ehlo_lines, std::string_view keyword);

enum class AuthMechanism { kNone, kPlain, kLogin };

// PLAIN when the AUTH item offers it (the shortest exchange), else LOGIN, else none.
AuthMechanism ChooseAuthMechanism(const std::vector<std::string>& ehlo_lines);

// "STARTTLS", the 220 go-ahead, then `upgrade`, which drops whatever else came in plain text. 1, or 0 with
// the refusal or the upgrade's failure in `results`.
std::int32_t RunStartTls(mailcore::LineTransport& transport, const TlsUpgrade& upgrade, SmtpResults& results);

enum class GreetingOutcome { kOk, kEhloRefused, kTlsFailed };

// EHLO `domain`; with `start_tls` then STARTTLS (refused without sending it when the reply does not offer it)
// and EHLO again, whose lines replace those from before TLS in `results`.
GreetingOutcome RunEhloGreeting(mailcore::LineTransport& transport, std::string_view domain, bool start_tls,
                                const TlsUpgrade& upgrade, SmtpResults& results);

// AUTH with the mechanism chosen from `ehlo_lines`: 1 on 235, else 0 with the failure in `results`. No
// record names the password or its base64.
std::int32_t RunAuth(mailcore::LineTransport& transport, const std::vector<std::string>& ehlo_lines,
                     std::string_view user, std::string_view password, SmtpResults& results);

}  // namespace outlark
