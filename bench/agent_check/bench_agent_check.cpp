// BENCH lines for one whole engine check against the real Dovecot and Postfix that `./dev bench` starts:
//   check_1000_mails_seconds     the agent's mailbox holds 1,000 ordinary Japanese mails (ISO-2022-JP,
//                                encoded-word Subjects) and one list request from the phone; one check
//                                with the library components: LIST, TOP n 2 and the header parse of each
//                                mail, DELE of the request, QUIT, and the list reply handed to Postfix.
//   poplib_scan_1000_seconds     the same mailbox scanned by Python's poplib: LIST n and TOP n 2 of each
//                                mail, the header parsed by the email package and the Subject decoded.
//   check_1000_vs_poplib_scan    the second over the first: above 1 the engine's whole check is faster.
//   check_1000_phase_*           where the median check's time went: the POP3 session frame (connect,
//                                log-in, STAT, DELE, QUIT), LIST and TOP of every mail, the header
//                                parse, the SendMail calls of the reply, and the engine's own work.
// Every figure is the median of five runs; each run delivers a fresh list request first.
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/engine/agent_engine.h"
#include "agent/engine/during_check.h"
#include "agent/engine/library_components.h"
#include "bench/pop3/child_process.h"
#include "testing/mail_servers_env/japanese_message.h"
#include "testing/mail_servers_env/mail_servers_env.h"
#include "testing/mail_servers_env/mailbox_lease.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace {

namespace ms = mirelo::mail_servers;
using mirelo::bench::ChildResult;
using mirelo::bench::RunChild;

constexpr int kRuns = 5;
constexpr int kMails = 1000;
constexpr const char* kPasswordVariable = "MIRELO_BENCH_PASSWORD";

const char* const kPoplibScan = R"(
import os, poplib, sys, time
from email.header import decode_header, make_header
from email.parser import BytesHeaderParser
host, port, user, count = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
start = time.perf_counter()
p = poplib.POP3(host, port)
p.user(user)
p.pass_(os.environ["MIRELO_BENCH_PASSWORD"])
messages = p.stat()[0]
parser = BytesHeaderParser()
lines = []
for n in range(1, messages + 1):
    size = int(p.list(n).split()[2])
    header = parser.parsebytes(b"\r\n".join(p.top(n, 2)[1]))
    subject = str(make_header(decode_header(header.get("Subject", ""))))
    lines.append("%d %s[%d] %s" % (n, subject, size, header.get("From", "")))
p.quit()
elapsed = time.perf_counter() - start
if messages != count or not lines[0].startswith("1 \u3054\u6848\u5185"):
    sys.exit("poplib saw %d messages, expected %d; first: %s" % (messages, count, lines[0] if lines else ""))
print(elapsed)
)";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_agent_check: %s\n", what.c_str());
    std::exit(1);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Bench(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Where a check's time goes: the component calls, timed through thin wrappers.
struct CallTimes {
    double session = 0;  // connect, log-in, STAT, DELE, QUIT, close
    double network = 0;  // LIST and TOP of every mail, with their replies' text
    double parse = 0;    // MakeDataEx and the getters that hand its results over
    double send = 0;     // SendMail: composition and one SMTP session each
};

class Stopwatch {
  public:
    explicit Stopwatch(double& total) : total_(total), start_(std::chrono::steady_clock::now()) {}
    ~Stopwatch() {
        total_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;

  private:
    double& total_;
    std::chrono::steady_clock::time_point start_;
};

class TimedPop3 final : public mirelo::Pop3Component {
  public:
    TimedPop3(mirelo::Pop3Component& inner, CallTimes& times) : p_(inner), t_(times) {}
    void SetPort(std::int32_t v) override { p_.SetPort(v); }
    void SetSync(std::int32_t v) override { p_.SetSync(v); }
    void SetSendTimeout(std::int32_t v) override { p_.SetSendTimeout(v); }
    void SetRecvTimeout(std::int32_t v) override { p_.SetRecvTimeout(v); }
    std::int32_t LastError() override { return p_.LastError(); }
    std::int32_t ConnectByName(const QString& s) override {
        return Session([&] { return p_.ConnectByName(s); });
    }
    std::int32_t Authorize(const QString& u, const QString& w) override {
        return Session([&] { return p_.Authorize(u, w); });
    }
    std::int32_t STAT() override {
        return Session([&] { return p_.STAT(); });
    }
    std::int32_t LIST(std::int32_t n) override {
        return Net([&] { return p_.LIST(n); });
    }
    std::int32_t TOP_(std::int32_t n, std::int32_t l) override {
        return Net([&] { return p_.TOP_(n, l); });
    }
    std::int32_t RETR(std::int32_t n) override {
        return Net([&] { return p_.RETR(n); });
    }
    std::int32_t DELE(std::int32_t n) override {
        return Session([&] { return p_.DELE(n); });
    }
    std::int32_t QUIT() override {
        return Session([&] { return p_.QUIT(); });
    }
    std::int32_t Destroy() override {
        return Session([&] { return p_.Destroy(); });
    }
    std::int32_t GetCount() override { return p_.GetCount(); }
    std::int32_t GetNo(std::int32_t i) override { return p_.GetNo(i); }
    QString GetMessage() override {
        return Net([&] { return p_.GetMessage(); });
    }
    void ReleaseData() override { p_.ReleaseData(); }
    std::int32_t MakeData() override {
        return Parse([&] { return p_.MakeData(); });
    }
    std::int32_t MakeDataEx(const QString& m) override {
        return Parse([&] { return p_.MakeDataEx(m); });
    }
    QString GetSubject() override {
        return Parse([&] { return p_.GetSubject(); });
    }
    QString GetFrom() override {
        return Parse([&] { return p_.GetFrom(); });
    }
    QString GetBody() override {
        return Parse([&] { return p_.GetBody(); });
    }
    std::int32_t GetFileNameCount() override { return p_.GetFileNameCount(); }
    std::int32_t GetToCount() override { return p_.GetToCount(); }
    QString GetTo(std::int32_t i) override { return p_.GetTo(i); }
    std::int32_t GetCcCount() override { return p_.GetCcCount(); }
    QString GetCc(std::int32_t i) override { return p_.GetCc(i); }

  private:
    template <typename F>
    auto Net(F&& f) -> decltype(f()) {
        Stopwatch w(t_.network);
        return f();
    }
    template <typename F>
    auto Session(F&& f) -> decltype(f()) {
        Stopwatch w(t_.session);
        return f();
    }
    template <typename F>
    auto Parse(F&& f) -> decltype(f()) {
        Stopwatch w(t_.parse);
        return f();
    }
    mirelo::Pop3Component& p_;
    CallTimes& t_;
};

class TimedSmtp final : public mirelo::SmtpComponent {
  public:
    TimedSmtp(mirelo::SmtpComponent& inner, CallTimes& times) : s_(inner), t_(times) {}
    void SetPort(std::int32_t v) override { s_.SetPort(v); }
    void SetSync(std::int32_t v) override { s_.SetSync(v); }
    void SetHeader8bit(std::int32_t v) override { s_.SetHeader8bit(v); }
    void SetWidth(std::int32_t v) override { s_.SetWidth(v); }
    void SetSendTimeout(std::int32_t v) override { s_.SetSendTimeout(v); }
    void SetRecvTimeout(std::int32_t v) override { s_.SetRecvTimeout(v); }
    void SetLogFilename(const QString& v) override { s_.SetLogFilename(v); }
    std::int32_t LastError() override { return s_.LastError(); }
    std::int32_t SendMail(const QString& server, const QString& to, const QString& from,
                          const QString& subject, const QString& body, const QString& fileName) override {
        Stopwatch w(t_.send);
        return s_.SendMail(server, to, from, subject, body, fileName);
    }

  private:
    mirelo::SmtpComponent& s_;
    CallTimes& t_;
};

class SilentView final : public mirelo::EngineView {
  public:
    void ShowStatus(const mirelo::StatusLine&) override {}
    void ShowCounters(const QString&) override {}
    void ShowUser(const QString&, const QString&) override {}
};

std::string OrdinaryMail(const ms::Mailbox& agent, int n) {
    const std::string number = std::to_string(n);
    const std::string body =
        "いつもお世話になっております。\n第" + number +
        "号のご案内をお送りします。\n詳しくは添付の資料をご覧ください。\nよろしくお願いいたします。\n";
    return ms::JapaneseMessage("sender" + number + "@example.jp", agent.address, "ご案内 第" + number + "号",
                               body);
}

// One engine check over the mailbox, as waiting mode makes it; seconds.
double EngineCheck(const ms::MailServersEnv& env, const ms::Mailbox& agent, const ms::Mailbox& phone,
                   const QString& folder, CallTimes& times) {
    mirelo::AgentSettings settings;
    settings.POP3Server = settings.SMTPServer = Q(env.host);
    settings.POP3Port = static_cast<std::int16_t>(env.pop3Port);
    settings.SMTPPort = static_cast<std::int16_t>(env.smtpPort);
    settings.SvLogin = Q(agent.user);
    settings.SvPasswd = Q(agent.password);
    settings.FromMailAddr = Q(agent.address);
    settings.MailAddr1 = Q(phone.address);
    settings.LogFileName.clear();
    const mirelo::AgentLog log(folder, settings);
    const auto libraryPop3 = mirelo::MakeLibraryPop3();
    const auto librarySmtp = mirelo::MakeLibrarySmtp();
    TimedPop3 pop3(*libraryPop3, times);
    TimedSmtp smtp(*librarySmtp, times);
    SilentView view;
    mirelo::AgentEngine engine({settings, folder, log, pop3, smtp, view});
    engine.Load();

    const auto start = std::chrono::steady_clock::now();
    const mirelo::TickOutcome outcome = engine.CheckNow();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (outcome != mirelo::TickOutcome::Checked) Fail("the engine's check failed");
    if (engine.State().MailList.count(QStringLiteral("\r\n")) != kMails)
        Fail("the engine listed " + std::to_string(engine.State().MailList.count(QStringLiteral("\r\n"))) +
             " mails");
    if (engine.State().Counts[0] != 1) Fail("the engine did not see the list request");
    return seconds;
}

double PoplibScan(const ms::MailServersEnv& env, const ms::Mailbox& agent) {
    const ChildResult r = RunChild({"/usr/bin/python3", "-c", kPoplibScan, env.host,
                                    std::to_string(env.pop3Port), agent.user, std::to_string(kMails + 1)},
                                   {{kPasswordVariable, agent.password}});
    if (r.exitStatus != 0) Fail("poplib scan failed with status " + std::to_string(r.exitStatus));
    return std::strtod(r.output.c_str(), nullptr);
}

}  // namespace

int main() {
    const std::optional<ms::MailServersEnv> servers = ms::BenchmarkServers("bench_agent_check");
    if (!servers) return 0;
    const ms::MailServersEnv& env = *servers;
    ms::MailboxLease agentLease, phoneLease;
    if (std::string error = agentLease.Acquire(env, "agent"); !error.empty()) Fail(error);
    if (std::string error = phoneLease.Acquire(env, "phone"); !error.empty()) Fail(error);
    const ms::Mailbox& agent = agentLease.mailbox();
    const ms::Mailbox& phone = phoneLease.mailbox();

    // The interlock lives in the per-user store: a private one, before anything reads it.
    QTemporaryDir configHome, programFolder;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    mirelo::WriteDuringCheck(QString());

    for (int n = 1; n <= kMails; ++n) {
        if (std::string error = ms::DropMessage(agent.maildir, OrdinaryMail(agent, n)); !error.empty())
            Fail(error);
    }

    std::vector<double> checks, scans;
    std::vector<CallTimes> phases;
    for (int run = 0; run < kRuns; ++run) {
        if (std::string error = ms::EmptyMaildir(phone.maildir); !error.empty()) Fail(error);
        const std::string request = ms::SimpleMessage(phone.address, agent.address, "LIST", "");
        if (std::string error = ms::DeliverMail(env, phone.address, {agent.address}, request); !error.empty())
            Fail(error);
        if (std::string error = ms::WaitForMessages(agent.maildir, kMails + 1); !error.empty()) Fail(error);

        scans.push_back(PoplibScan(env, agent));
        phases.emplace_back();
        checks.push_back(EngineCheck(env, agent, phone, programFolder.path(), phases.back()));
        if (ms::CountMessages(agent.maildir) != kMails) Fail("the list request was not deleted");
        // The reply's parts reach the phone; let Postfix finish before the next run.
        (void)ms::WaitForMessages(phone.maildir, 10, std::chrono::seconds(10));
    }

    const double check = Median(checks), scan = Median(scans);
    Bench("check_1000_mails_seconds", check, "s");
    Bench("poplib_scan_1000_seconds", scan, "s");
    Bench("check_1000_vs_poplib_scan", scan / check, "x");
    // The phases of the median check.
    const auto median = std::find(checks.begin(), checks.end(), check) - checks.begin();
    const CallTimes& p = phases[static_cast<std::size_t>(median)];
    Bench("check_1000_phase_session_seconds", p.session, "s");
    Bench("check_1000_phase_list_top_seconds", p.network, "s");
    Bench("check_1000_phase_parse_seconds", p.parse, "s");
    Bench("check_1000_phase_send_seconds", p.send, "s");
    Bench("check_1000_phase_engine_seconds", check - p.session - p.network - p.parse - p.send, "s");

    (void)ms::EmptyMaildir(agent.maildir);
    (void)ms::EmptyMaildir(phone.maildir);
    return 0;
}
