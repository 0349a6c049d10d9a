#include "agent/ui/wizard.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <memory>

#include "agent/config/settings_file.h"
#include "agent/ui/tests/dialog_test_support.h"
#include "agent/ui/tests/modal_answers.h"

namespace mirelo {
namespace {

class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override { Open(); }
    void Open() {
        wizard_ = std::make_unique<Wizard>(settings_, dir_.path());
        wizard_->show();
    }
    template <typename T = QLineEdit>
    T* W(const char* name) {
        return Find<T>(wizard_.get(), name);
    }
    void Click(const char* button, ModalAnswers* answers = nullptr) {
        W<QPushButton>(button)->click();
        if (answers != nullptr) {
            EXPECT_TRUE(answers->AllAnswered());
            EXPECT_EQ(answers->Unexpected(), 0);
        }
    }
    // Moves forward with every box filled, up to the last page.
    void FillAndFinishPages(int phoneType) {
        W<QRadioButton>(QStringLiteral("optMachine_%1").arg(phoneType).toLatin1().constData())->click();
        Click("cmdNext");
        W("txtMailAddr1")->setText(QStringLiteral("phone@docomo.ne.jp"));
        Click("cmdNext");
        W("txtPOP3")->setText(QStringLiteral("127.0.0.1"));
        W("txtSMTP")->setText(QStringLiteral("127.0.0.1"));
        W("txtSvLogin")->setText(QStringLiteral("agent"));
        W("txtSvPasswd")->setText(QStringLiteral("pop-secret"));
        W("txtFrom")->setText(QStringLiteral("agent@example.jp"));
        Click("cmdNext");
        ASSERT_EQ(wizard_->CurrentPage(), 3);
    }
    [[nodiscard]] bool Saved() const { return QFile::exists(SettingsFilePath(dir_.path())); }
    [[nodiscard]] AgentSettings Stored() const {
        AgentSettings loaded;
        (void)LoadSettings(SettingsFilePath(dir_.path()), loaded);
        return loaded;
    }
    [[nodiscard]] int VisiblePage() const {
        for (int page = 0; page < 4; ++page) {
            if (Find<QWidget>(wizard_.get(),
                              QStringLiteral("WizardFrame_%1").arg(page).toLatin1().constData())
                    ->isVisible())
                return page;
        }
        return -1;
    }

    QTemporaryDir dir_;
    AgentSettings settings_;
    std::unique_ptr<Wizard> wizard_;
};

TEST_F(WizardTest, PagesMoveOneStepAndTheChecksGuardPagesTwoAndThree) {
    EXPECT_EQ(wizard_->windowTitle(), QStringLiteral("Mirelo簡単設定ﾀﾞｲｱﾛｸﾞ"));
    EXPECT_EQ(VisiblePage(), 0);
    EXPECT_FALSE(W<QPushButton>("cmdPrev")->isEnabled());
    EXPECT_EQ(wizard_->focusWidget(), W<QRadioButton>("optMachine_0"));
    EXPECT_TRUE(W<QRadioButton>("optMachine_0")->isChecked());
    Click("cmdNext");
    EXPECT_EQ(VisiblePage(), 1);
    EXPECT_EQ(wizard_->focusWidget(), W("txtMailAddr1"));

    {
        ModalAnswers noAddress;
        noAddress.Press();
        Click("cmdNext", &noAddress);
        ASSERT_EQ(noAddress.Seen().size(), 1u);
        EXPECT_EQ(noAddress.Seen()[0].text, QStringLiteral("メールアドレスが未入力です。"));
        EXPECT_EQ(noAddress.Seen()[0].title, QStringLiteral("エラー"));
        EXPECT_EQ(VisiblePage(), 1);
    }

    W("txtMailAddr1")->setText(QStringLiteral("phone@docomo.ne.jp"));
    Click("cmdNext");
    EXPECT_EQ(VisiblePage(), 2);
    EXPECT_EQ(wizard_->focusWidget(), W("txtPOP3"));
    const char* boxes[] = {"txtPOP3", "txtSMTP", "txtSvLogin", "txtSvPasswd", "txtFrom"};
    for (const char* missing : boxes) {
        SCOPED_TRACE(missing);
        for (const char* box : boxes) W(box)->setText(box == missing ? QString() : QStringLiteral("x"));
        ModalAnswers noServer;
        noServer.Press();
        Click("cmdNext", &noServer);
        ASSERT_EQ(noServer.Seen().size(), 1u);
        EXPECT_EQ(noServer.Seen()[0].text, QStringLiteral("サーバ情報が未入力です。"));
        EXPECT_EQ(wizard_->focusWidget(), W(missing));
        EXPECT_EQ(VisiblePage(), 2);
    }
    W("txtFrom")->setText(QStringLiteral("agent@example.jp"));
    Click("cmdNext");
    EXPECT_EQ(VisiblePage(), 3);
    EXPECT_FALSE(W<QPushButton>("cmdNext")->isEnabled());
    EXPECT_EQ(wizard_->focusWidget(), W<QPushButton>("cmdCommit"));
    EXPECT_EQ(W<QLabel>("lblExplain1")->text(),
              QStringLiteral("携帯端末から、タイトルに「LIST」と記述して、agent@example."
                             "jpにメールすることで到着メール一覧を返信します。"));

    // Back to page 2 and forward again: the explanation follows the boxes.
    Click("cmdPrev");
    EXPECT_EQ(VisiblePage(), 2);
    W("txtFrom")->setText(QStringLiteral("other@example.jp"));
    Click("cmdNext");
    EXPECT_TRUE(W<QLabel>("lblExplain1")->text().contains(QStringLiteral("other@example.jp")));
    EXPECT_TRUE(W<QPushButton>("cmdCommit")->font().bold());
    EXPECT_FALSE(Saved());
}

TEST_F(WizardTest, AStoredPhoneAddressDisablesItsBoxAndPassesPageOne) {
    settings_.MailAddr1 = QStringLiteral("stored@docomo.ne.jp");
    Open();
    EXPECT_FALSE(W("txtMailAddr1")->isEnabled());
    Click("cmdNext");
    Click("cmdNext");
    EXPECT_EQ(VisiblePage(), 2);
}

struct KeyRow {
    int phoneType;
    const char* box;
    const char* typed;
    const char* after;
};

TEST_F(WizardTest, KeyRulesOfTheAddressAndServerBoxes) {
    const KeyRow rows[] = {
        {0, "txtMailAddr1", "abc@", "abc@docomo.ne.jp"},
        {0, "txtMailAddr1", "a,b", "ab"},
        {1, "txtMailAddr1", "abc@x.jp", "abc@x.jp"},
        {2, "txtMailAddr1", "abc@", "abc@"},
        {3, "txtMailAddr1", "a,@b", "a@b"},
        {0, "txtPOP3", "pop,x @", "popx @"},
        {0, "txtSMTP", "s,", "s"},
        {0, "txtFrom", "a,@b", "a@b"},
        {0, "txtSvLogin", "a,b", "a,b"},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(std::string(row.box) + " " + row.typed);
        Open();
        W<QRadioButton>(QStringLiteral("optMachine_%1").arg(row.phoneType).toLatin1().constData())->click();
        QLineEdit* box = W(row.box);
        QTest::keyClicks(box, QString::fromUtf8(row.typed));
        EXPECT_EQ(box->text(), QString::fromUtf8(row.after));
        EXPECT_EQ(box->cursorPosition(), box->text().size());
    }
}

struct PhoneRow {
    int type;
    std::int16_t oneMailMaxChar;
    bool commandBySubject, addSubject, addCc, trimLine, removeBlankLine, removeQuote;
};

TEST_F(WizardTest, FinishAppliesThePhoneTypeAndSaves) {
    // Defaults are CommandBySubject, AddCc and the three line rules on, AddSubject off; start from the
    // opposite of AddSubject's default so each row shows what it sets.
    const PhoneRow rows[] = {
        {0, 250, true, false, true, true, true, true},
        {1, 100, false, true, false, true, true, true},
        {2, 100, true, true, false, true, true, true},
        {3, 0, true, false, true, false, false, false},
    };
    for (const PhoneRow& row : rows) {
        SCOPED_TRACE(row.type);
        QFile::remove(SettingsFilePath(dir_.path()));
        settings_ = AgentSettings{};
        settings_.AddSubject = true;
        settings_.OneMailMaxChar = 77;
        Open();
        FillAndFinishPages(row.type);
        if (row.type == 1) {
            EXPECT_TRUE(W<QLabel>("lblExplain1")
                            ->text()
                            .startsWith(QStringLiteral("携帯端末から、本文の１行目に「LIST」")));
        }
        Click("cmdCommit");
        EXPECT_EQ(wizard_->result(), QDialog::Accepted);
        const AgentSettings stored = Stored();
        EXPECT_EQ(stored, settings_);
        EXPECT_EQ(stored.OneMailMaxChar, row.oneMailMaxChar);
        EXPECT_EQ(stored.CommandBySubject, row.commandBySubject);
        EXPECT_EQ(stored.AddSubject, row.addSubject);
        EXPECT_EQ(stored.AddCc, row.addCc);
        EXPECT_EQ(stored.TrimLine, row.trimLine);
        EXPECT_EQ(stored.RemoveBlankLine, row.removeBlankLine);
        EXPECT_EQ(stored.RemoveQuote, row.removeQuote);
        EXPECT_EQ(stored.MailAddr1, QStringLiteral("phone@docomo.ne.jp"));
        EXPECT_EQ(stored.SvPasswd, QStringLiteral("pop-secret"));
        EXPECT_EQ(stored.FromMailAddr, QStringLiteral("agent@example.jp"));
        EXPECT_TRUE(stored.DecodeCharsets);
    }
}

TEST_F(WizardTest, CancelAsksAndYesSavesTheRecordAsItWas) {
    settings_.POP3Server = QStringLiteral("before.example.jp");
    Open();
    W("txtPOP3")->setText(QStringLiteral("typed.example.jp"));
    {
        ModalAnswers no;
        no.Press(QMessageBox::No);
        Click("cmdCancel", &no);
        ASSERT_EQ(no.Seen().size(), 1u);
        EXPECT_EQ(no.Seen()[0].title, QStringLiteral("確認"));
        EXPECT_EQ(no.Seen()[0].text, QStringLiteral("設定が終了していませんが、よろしいですか？"));
        EXPECT_EQ(no.Seen()[0].icon, QMessageBox::Question);
        EXPECT_TRUE(wizard_->isVisible());
        EXPECT_FALSE(Saved());
    }

    ModalAnswers yes;
    yes.Press(QMessageBox::Yes);
    Click("cmdCancel", &yes);
    EXPECT_FALSE(wizard_->isVisible());
    EXPECT_EQ(wizard_->result(), QDialog::Rejected);
    ASSERT_TRUE(Saved());
    EXPECT_EQ(Stored().POP3Server, QStringLiteral("before.example.jp"));
    EXPECT_FALSE(LoadSettings(SettingsFilePath(dir_.path()), settings_).startWizard);
}

TEST_F(WizardTest, TheCloseBoxLeavesWithoutSaving) {
    ModalAnswers none;
    wizard_->close();
    EXPECT_TRUE(none.Seen().empty());
    EXPECT_FALSE(wizard_->isVisible());
    EXPECT_FALSE(Saved());
}

TEST_F(WizardTest, AValueTheFileWouldNotGiveBackIsRefusedByName) {
    FillAndFinishPages(0);
    W("txtSvLogin")->setText(QStringLiteral("ag\\ent"));
    ModalAnswers answers;
    answers.Press();
    Click("cmdCommit", &answers);
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_TRUE(answers.Seen()[0].text.startsWith(
        QStringLiteral("「ｻｰﾊﾞのﾛｸﾞｲﾝ名」の値は設定ファイルに保存できません。")));
    EXPECT_TRUE(wizard_->isVisible());
    EXPECT_FALSE(Saved());
    EXPECT_EQ(settings_, AgentSettings{});
}

TEST_F(WizardTest, AFailedSaveIsShownWithItsReason) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Mirelo.ini")));
    FillAndFinishPages(0);
    ModalAnswers answers;
    answers.Press();
    Click("cmdCommit", &answers);
    ASSERT_EQ(answers.Seen().size(), 1u);
    EXPECT_EQ(answers.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(answers.Seen()[0].text.startsWith(QStringLiteral("設定を保存できませんでした。\r\n")));
    EXPECT_TRUE(wizard_->isVisible());
}

// ---- Connection security ----------------------------------------------------------------------

TEST_F(WizardTest, ANewAccountIsProposedTlsAndTheSmtpLogInOfThePop3Account) {
    FillAndFinishPages(0);
    EXPECT_TRUE(W<QCheckBox>("chkSecure")->isChecked());
    EXPECT_TRUE(W<QCheckBox>("chkSmtpAuth")->isChecked());
    EXPECT_TRUE(W("txtSmtpUser")->isEnabled());
    EXPECT_EQ(W("txtSmtpPasswd")->echoMode(), QLineEdit::Password);
    Click("cmdCommit");
    const AgentSettings stored = Stored();
    EXPECT_EQ(stored.POP3Security, 2);
    EXPECT_EQ(stored.SMTPSecurity, 2);
    EXPECT_EQ(stored.POP3Port, 995);
    EXPECT_EQ(stored.SMTPPort, 465);
    EXPECT_EQ(stored.SMTPUser, QStringLiteral("agent"));  // left empty: the POP3 account
    EXPECT_EQ(stored.SMTPPasswd, QStringLiteral("pop-secret"));
}

TEST_F(WizardTest, PlainTextAndAnOwnSmtpLogInCanBeChosen) {
    FillAndFinishPages(0);
    Click("cmdPrev");
    W<QCheckBox>("chkSecure")->setChecked(false);
    W("txtSmtpUser")->setText(QStringLiteral("sender"));
    W("txtSmtpPasswd")->setText(QStringLiteral("smtp-pw"));
    Click("cmdNext");
    Click("cmdCommit");
    const AgentSettings stored = Stored();
    EXPECT_EQ(stored.POP3Security, 0);
    EXPECT_EQ(stored.SMTPSecurity, 0);
    EXPECT_EQ(stored.POP3Port, 110);
    EXPECT_EQ(stored.SMTPPort, 25);
    EXPECT_EQ(stored.SMTPUser, QStringLiteral("sender"));
    EXPECT_EQ(stored.SMTPPasswd, QStringLiteral("smtp-pw"));
}

TEST_F(WizardTest, WithoutTheSmtpLogInItsBoxesAreOffAndNothingIsStored) {
    FillAndFinishPages(0);
    Click("cmdPrev");
    W("txtSmtpUser")->setText(QStringLiteral("sender"));
    W<QCheckBox>("chkSmtpAuth")->setChecked(false);
    EXPECT_FALSE(W("txtSmtpUser")->isEnabled());
    EXPECT_FALSE(W("txtSmtpPasswd")->isEnabled());
    Click("cmdNext");
    Click("cmdCommit");
    EXPECT_EQ(Stored().SMTPUser, QString());
    EXPECT_EQ(Stored().SMTPPasswd, QString());
    EXPECT_EQ(Stored().SMTPSecurity, 2);
}

struct SecurityRow {
    const char* name;
    std::function<void(AgentSettings&)> before;  // the settings the wizard opens with
    std::function<void(WizardSecurity&)> choose;
    std::int16_t pop3Security, smtpSecurity, pop3Port, smtpPort;
};
void PrintTo(const SecurityRow& row, std::ostream* os) { *os << row.name; }

const SecurityRow kSecurityRows[] = {
    {"NewAccountTls", [](AgentSettings&) {}, [](WizardSecurity&) {}, 2, 2, 995, 465},
    {"OwnPortsStay", [](AgentSettings& s) { s.POP3Port = 1110, s.SMTPPort = 587; }, [](WizardSecurity&) {}, 2,
     2, 1110, 587},
    {"ExistingStartTlsKept",
     [](AgentSettings& s) { s.POP3Server = QStringLiteral("pop"), s.POP3Security = 1, s.SMTPSecurity = 1; },
     [](WizardSecurity&) {}, 1, 1, 110, 25},
    {"ExistingTlsTurnedOff",
     [](AgentSettings& s) {
         s.POP3Server = QStringLiteral("pop"), s.POP3Security = s.SMTPSecurity = 2;
         s.POP3Port = 995, s.SMTPPort = 465;
     },
     [](WizardSecurity& c) { c.tls = false; }, 0, 0, 110, 25},
    {"ExistingPlainTurnedOn", [](AgentSettings& s) { s.POP3Server = QStringLiteral("pop"); },
     [](WizardSecurity& c) { c.tls = true; }, 2, 2, 995, 465},
};

class WizardSecurityTable : public testing::TestWithParam<SecurityRow> {};

TEST_P(WizardSecurityTable, ChoicesBecomeModesAndPorts) {
    AgentSettings settings;
    GetParam().before(settings);
    WizardSecurity choice = ProposedSecurity(settings);
    GetParam().choose(choice);
    ApplySecurity(choice, settings);
    EXPECT_EQ(settings.POP3Security, GetParam().pop3Security);
    EXPECT_EQ(settings.SMTPSecurity, GetParam().smtpSecurity);
    EXPECT_EQ(settings.POP3Port, GetParam().pop3Port);
    EXPECT_EQ(settings.SMTPPort, GetParam().smtpPort);
}

INSTANTIATE_TEST_SUITE_P(Wizard, WizardSecurityTable, testing::ValuesIn(kSecurityRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirelo
