// The Working window over the real libraries and the real Dovecot and Postfix: what the owner sees while a
// list request is answered, and when the server cannot be reached.
#include <QLabel>
#include <QTemporaryDir>

#include "agent/engine/agent_log.h"
#include "agent/ui/working_window.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "testing/mail_servers_env/smtp_delivery.h"
#include "ui_test_support.h"

namespace mirelo {
namespace {

namespace ms = mail_servers;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Keeps every status line the window was given, in order, as well as showing it.
class RecordingWorking final : public Working {
  public:
    using Working::Working;
    std::vector<StatusLine> shown;
    void ShowStatus(const StatusLine& status) override {
        shown.push_back(status);
        Working::ShowStatus(status);
    }
};

class WorkingServers : public ms::RealServersTest {
  protected:
    void SetUp() override {
        testing_support::TestApp();
        ms::RealServersTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(phoneLease_.AcquireSpare(env()), "");
        const ms::Mailbox& agent = mailbox();
        settings_.POP3Server = settings_.SMTPServer = Q(env().host);
        settings_.POP3Port = static_cast<std::int16_t>(env().pop3Port);
        settings_.SMTPPort = static_cast<std::int16_t>(env().smtpPort);
        settings_.SvLogin = Q(agent.user);
        settings_.SvPasswd = Q(agent.password);
        settings_.FromMailAddr = Q(agent.address);
        settings_.MailAddr1 = Q(phoneLease_.mailbox().address);
        settings_.CheckInterval = 1;
    }
    RecordingWorking& Window() {
        if (!window_) {
            window_ = std::make_unique<RecordingWorking>(Working::Parts{settings_, dir_.path(), log_, {}});
            window_->SetBeeper([this] { ++beeps_; });
            window_->show();
            window_->FinishPendingWork();
        }
        return *window_;
    }
    QLabel& Label(const char* name) { return *Window().findChild<QLabel*>(QString::fromLatin1(name)); }

    ms::MailboxLease phoneLease_;
    QTemporaryDir dir_;
    AgentSettings settings_;
    AgentLog log_{dir_.path(), settings_};
    int beeps_ = 0;
    std::unique_ptr<RecordingWorking> window_;
};

TEST_F(WorkingServers, AListRequestAsTheOwnerSeesIt) {
    const ms::Mailbox& agent = mailbox();
    const std::string phone = phoneLease_.mailbox().address;
    ASSERT_EQ(ms::DropMessage(agent.maildir,
                              ms::SimpleMessage("friend@example.jp", agent.address, "hello", "hi\n")),
              "");
    ASSERT_EQ(
        ms::DeliverMail(env(), phone, {agent.address}, ms::SimpleMessage(phone, agent.address, "LIST", "")),
        "");
    ASSERT_EQ(ms::WaitForMessages(agent.maildir, 2), "");

    Window().TickNow();
    Window().FinishPendingWork();

    std::vector<std::int16_t> codes;
    for (const StatusLine& s : Window().shown) codes.push_back(s.code);
    EXPECT_EQ(codes, (std::vector<std::int16_t>{0, 10, 11, 20, 100, 0}));
    EXPECT_EQ(Window().shown[3].colour, StatusColour::Blue);
    EXPECT_EQ(Label("lblStatus1").text(), QStringLiteral("アイドル中..."));
    EXPECT_EQ(Label("lblStatus1").palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(Label("lblStatus2").text(),
              QStringLiteral("一覧取得(1件)　本文取得(0件)　転送(0件)　削除(0件)"));
    EXPECT_EQ(beeps_, 0);
    EXPECT_EQ(ms::WaitForMessages(phoneLease_.mailbox().maildir, 1), "");  // the list reached the phone
    EXPECT_EQ(ms::CountMessages(agent.maildir), 1u);                       // the command mail is gone
}

TEST_F(WorkingServers, AnUnreachableServerShowsRedAndRetries) {
    settings_.POP3Port = 1;  // nothing listens there
    Window().TickNow();
    Window().FinishPendingWork();
    ASSERT_GE(Window().shown.size(), 2u);
    const StatusLine& refused = Window().shown[Window().shown.size() - 2];
    EXPECT_EQ(refused.text, QStringLiteral("POP3サーバに接続できません。"));
    EXPECT_EQ(refused.colour, StatusColour::Red);
    EXPECT_EQ(Label("lblStatus1").text(), QStringLiteral("接続できませんでした。リトライします。"));
    EXPECT_EQ(Label("lblStatus1").palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(beeps_, 2);
}

}  // namespace
}  // namespace mirelo
