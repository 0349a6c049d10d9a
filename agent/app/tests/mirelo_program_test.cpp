// The real `mirelo` against the real Dovecot and Postfix: how waiting mode and a single check end.

#include <netinet/in.h>
#include <sys/socket.h>

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "agent/app/tests/mirelo_process.h"
#include "agent/config/settings_file.h"
#include "agent/engine/tests/log_messages.h"
#include "mailcore/unique_fd.h"
#include "mailcore/wide_text.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace mirelo {
namespace {

using testing_support::RunMirelo;
using testing_support::StartMirelo;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class MireloProgram : public mail_servers::RealServersTest {
  protected:
    void SetUp() override {
        RealServersTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(home_.isValid() && config_.isValid());
        const mail_servers::Mailbox* phone = env().Find("phone");
        ASSERT_NE(phone, nullptr);
        phoneAddress_ = phone->address;
    }

    // The leased mailbox is the agent's; the phone's address is only the sender of the command mails.
    AgentSettings Settings() const {
        AgentSettings settings;
        settings.POP3Server = Q(env().host);
        settings.SMTPServer = Q(env().host);
        settings.POP3Port = static_cast<std::int16_t>(env().pop3Port);
        settings.SMTPPort = static_cast<std::int16_t>(env().smtpPort);
        settings.FromMailAddr = Q(mailbox().address);
        settings.MailAddr1 = Q(phoneAddress_);
        settings.SvLogin = Q(mailbox().user);
        settings.SvPasswd = Q(mailbox().password);
        settings.CheckInterval = 1;
        settings.SpecialCommandAccept = true;
        return settings;
    }
    void WriteIni(const AgentSettings& settings) const {
        ASSERT_TRUE(SaveSettings(SettingsFilePath(home_.path()), settings, QStringLiteral("ALL")).ok);
    }
    QStringList Arguments(const QString& mode) const {
        QStringList arguments{mode, QStringLiteral("--home"), home_.path()};
        if (mode == QStringLiteral("--wait"))
            arguments << QStringLiteral("--interval-seconds") << QStringLiteral("1");
        return arguments;
    }

    void MailFromPhone(const std::string& subject) const {
        ASSERT_EQ(mail_servers::DeliverMail(
                      env(), phoneAddress_, {mailbox().address},
                      mail_servers::SimpleMessage(phoneAddress_, mailbox().address, subject, "")),
                  "");
        ASSERT_EQ(mail_servers::WaitForMessages(mailbox().maildir, 1), "");
    }

    QStringList LogLines() const { return testing_support::LogMessages(home_.path()); }
    QString DuringCheck() const {
        QSettings store(config_.filePath(QStringLiteral("Tarnwick/Tarnwick.ini")), QSettings::IniFormat);
        return store.value(QStringLiteral("Mirelo/DuringCheck"), QStringLiteral("(missing)")).toString();
    }

    QTemporaryDir home_;
    QTemporaryDir config_;
    std::string phoneAddress_;
};

TEST_F(MireloProgram, QuitCommandFromThePhoneEndsWaitingAtOnce) {
    WriteIni(Settings());
    MailFromPhone("!!QUIT!!");

    QProcess process;
    StartMirelo(process, Arguments(QStringLiteral("--wait")), config_.path());
    ASSERT_TRUE(process.waitForFinished(30000)) << process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);

    const QStringList log = LogLines();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.front(), QStringLiteral("<-- Change Waiting Mode -->"));
    EXPECT_EQ(log.back(), QStringLiteral("!!QUIT COMMAND ACCEPT!!")) << log.back().toStdString();
    EXPECT_EQ(DuringCheck(), QString());
    EXPECT_EQ(mail_servers::CountMessages(mailbox().maildir), 0u) << "the command mail is deleted";
}

TEST_F(MireloProgram, TerminateEndsWaitingAfterTheCheck) {
    WriteIni(Settings());
    QProcess process;
    StartMirelo(process, Arguments(QStringLiteral("--wait")), config_.path());
    ASSERT_TRUE(process.waitForStarted());

    // Two checks done, so the signal comes while the program is deep in waiting mode.
    QString out;
    while (out.count(QStringLiteral("にアクセス中...")) < 2 ||
           !out.endsWith(QStringLiteral("アイドル中...\n"))) {
        ASSERT_TRUE(process.waitForReadyRead(20000)) << out.toStdString();
        out += QString::fromUtf8(process.readAllStandardOutput());
    }
    process.terminate();  // SIGTERM
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);

    const QStringList log = LogLines();
    ASSERT_EQ(log.size(), 2) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.back(), QStringLiteral(">-- Exit Waiting Mode --<"));
    EXPECT_EQ(DuringCheck(), QString());
}

TEST_F(MireloProgram, CheckNowStatusSaysWhetherTheCheckRan) {
    WriteIni(Settings());
    const auto good = RunMirelo(Arguments(QStringLiteral("--check-now")), config_.path());
    EXPECT_EQ(good.exitCode, 0) << good.err.toStdString();
    EXPECT_TRUE(good.out.contains(QStringLiteral("から未読一覧取得中..."))) << good.out.toStdString();

    // A port that is bound but never listens refuses every connection.
    const mailcore::UniqueFd unused(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(unused.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(unused.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    AgentSettings settings = Settings();
    settings.POP3Port = static_cast<std::int16_t>(ntohs(address.sin_port));
    WriteIni(settings);

    const auto refused = RunMirelo(Arguments(QStringLiteral("--check-now")), config_.path());
    EXPECT_EQ(refused.exitCode, 1);
    const QStringList log = LogLines();
    EXPECT_EQ(log.filter(QRegularExpression(QStringLiteral("^ERROR ConnectByName:-?\\d+ connect "))).size(),
              1)
        << log.join(u'\n').toStdString();
    EXPECT_EQ(log.back(), QStringLiteral(">-- Exit Waiting Mode --<"));
    EXPECT_EQ(DuringCheck(), QString());
}

}  // namespace
}  // namespace mirelo
