// BENCH lines for the memory of waiting mode: `mirelo --wait --interval-seconds 1` checks a small mailbox
// on the real Dovecot once a second; its resident size is read after 10 and after 200 checks. A check
// counts as done when the status line goes back to idle. Goal: under 1 MiB growth, under 25 MiB in all.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "agent/config/settings_file.h"
#include "testing/mail_servers_env/mail_servers_env.h"
#include "testing/mail_servers_env/mailbox_lease.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace ms = mirelo::mail_servers;

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "bench_agent_wait: %s\n", message.c_str());
    std::exit(1);
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

double ResidentMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) Fail("cannot read /proc/PID/status of mirelo");
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("VmRSS:")) continue;
        return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;  // kB
    }
    Fail("no VmRSS line");
}

// Reads standard output until `checks` checks are done. `idleLines` counts across calls; the first idle
// line is the one of waiting mode's start, every later one ends a check.
void WaitForChecks(QProcess& mirelo, int checks, int& idleLines) {
    static const QByteArray kIdle = QStringLiteral("アイドル中...").toUtf8();
    while (idleLines - 1 < checks) {
        if (!mirelo.canReadLine() && !mirelo.waitForReadyRead(30000))
            Fail("mirelo stopped reporting checks after " + std::to_string(idleLines - 1));
        while (mirelo.canReadLine()) {
            if (mirelo.readLine().trimmed().endsWith(kIdle)) ++idleLines;
        }
    }
}

}  // namespace

int main() {
    const std::optional<ms::MailServersEnv> servers = ms::BenchmarkServers("bench_agent_wait");
    if (!servers) return 0;
    const ms::MailServersEnv& env = *servers;
    ms::MailboxLease lease;
    if (std::string error = lease.AcquireSpare(env); !error.empty()) Fail(error);
    const ms::Mailbox& box = lease.mailbox();
    for (int i = 1; i <= 5; ++i) {
        const std::string mail =
            ms::SimpleMessage("sender@example.jp", box.address, "message " + std::to_string(i),
                              "A short line.\nAnother one.\n");
        if (std::string error = ms::DropMessage(box.maildir, mail); !error.empty()) Fail(error);
    }

    QTemporaryDir home;
    QTemporaryDir config;
    if (!home.isValid() || !config.isValid()) Fail("no temporary folder");
    mirelo::AgentSettings settings;
    settings.POP3Server = settings.SMTPServer = Q(env.host);
    settings.POP3Port = static_cast<std::int16_t>(env.pop3Port);
    settings.SMTPPort = static_cast<std::int16_t>(env.smtpPort);
    settings.FromMailAddr = Q(box.address);
    settings.MailAddr1 = QStringLiteral("phone@example.jp");
    settings.SvLogin = Q(box.user);
    settings.SvPasswd = Q(box.password);
    settings.CheckInterval = 1;
    if (!mirelo::SaveSettings(mirelo::SettingsFilePath(home.path()), settings, QStringLiteral("ALL")).ok)
        Fail("cannot write Mirelo.ini");

    QProcess mirelo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    mirelo.setProcessEnvironment(environment);
    mirelo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mirelo.start(QStringLiteral(MIRELO_PROGRAM),
                 {QStringLiteral("--wait"), QStringLiteral("--interval-seconds"), QStringLiteral("1"),
                  QStringLiteral("--home"), home.path()});
    if (!mirelo.waitForStarted()) Fail("cannot start " MIRELO_PROGRAM);

    int idleLines = 0;
    WaitForChecks(mirelo, 10, idleLines);
    const double after10 = ResidentMiB(mirelo.processId());
    WaitForChecks(mirelo, 200, idleLines);
    const double after200 = ResidentMiB(mirelo.processId());
    mirelo.terminate();
    if (!mirelo.waitForFinished(30000) || mirelo.exitCode() != 0)
        Fail("mirelo did not end cleanly on SIGTERM");

    std::printf("BENCH wait_rss_mib_10 %.2f MiB\n", after10);
    std::printf("BENCH wait_rss_mib_200 %.2f MiB\n", after200);
    std::printf("BENCH wait_rss_growth_mib %.2f MiB\n", after200 - after10);
    return 0;
}
