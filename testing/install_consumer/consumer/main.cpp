// Uses both libraries through their installed headers only: the controls, both event interfaces, the
// result codes, the failure record, the POP3 session and the message parser.
#include <cstdio>
#include <cstring>
#include <string>

#include "inlark/message.h"
#include "inlark/pop3.h"
#include "inlark/pop3_session.h"
#include "mailcore/failure.h"
#include "mailcore/result_code.h"
#include "outlark/smtp.h"

namespace {

struct Pop3Sink : inlark::Pop3Events {
    void EndOfCommand(std::int32_t) override {}
};
struct SmtpSink : outlark::SmtpEvents {
    void EndOfCommand(std::int32_t) override {}
};

int Fail(const char* what) {
    std::fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    inlark::Pop3 pop3;
    Pop3Sink pop3Sink;
    if (pop3.Advise(&pop3Sink) <= 0) return Fail("Pop3::Advise");
    std::int32_t result = 99;
    pop3.STAT(&result);
    if (result != mailcore::ToInt(mailcore::ResultCode::Failure)) return Fail("STAT without a connection");
    if (pop3.LastErrorText() != u"STAT: not connected") return Fail("Pop3::LastErrorText");
    pop3.STAT(nullptr);

    inlark::Pop3Session session;
    const auto totals = session.Stat();
    if (totals || totals.error().kind != mailcore::FailureKind::NotConnected)
        return Fail("Pop3Session::Stat");
    const auto parsed = inlark::ParseMessage("Subject: hi\n\nbody\n");
    if (!parsed || parsed->subject != "hi") return Fail("ParseMessage");

    outlark::Smtp smtp;
    SmtpSink smtpSink;
    if (smtp.Advise(&smtpSink) <= 0) return Fail("Smtp::Advise");
    smtp.SetLogFilename(u"");
    smtp.SendMail(u"", u"t@x", u"f@x", u"", u"", u"0", &result);
    if (result != mailcore::ToInt(mailcore::SendStatus::MissingArgument))
        return Fail("SendMail without server");
    if (smtp.LastErrorText().empty()) return Fail("Smtp::LastErrorText");

    // The event interfaces' type information is the libraries' own.
    inlark::Pop3Events* asPop3Events = &pop3Sink;
    if (dynamic_cast<Pop3Sink*>(asPop3Events) == nullptr) return Fail("Pop3Events type information");

    mailcore::Failure failure{mailcore::FailureKind::TimedOut, 0, {}, "connect"};
    if (mailcore::FailureText(failure) != "connect: timed out") return Fail("FailureText");
    if (std::strcmp(mailcore::ResultCodeText(-5), "already connected") != 0) return Fail("ResultCodeText");
    std::puts("consumer: ok");
    return 0;
}
