#include "agent/ui/env_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "agent/config/settings_file.h"
#include "agent/engine/agent_log.h"
#include "agent/ui/input_filters.h"
#include "agent/ui/tests/dialog_test_support.h"
#include "agent/ui/tests/modal_answers.h"

namespace mirelo {
namespace {

const QString kPlaceholder = QStringLiteral("\\\\\\\\\\");

class EnvDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { Open(); }

    void Open() {
        dialog_ = std::make_unique<EnvDialog>(
            settings_, dir_.path(), log_, [this](const QString& keyword) { helps_ << keyword; },
            [this] { ++captions_; });
        dialog_->show();
    }

    template <typename T = QLineEdit>
    T* W(const char* name) {
        return Find<T>(dialog_.get(), name);
    }
    void Set(const char* box, const QString& text) { W(box)->setText(text); }
    // Chooses the tab holding `widget`, which the tab rule enables.
    void ShowTabOf(QWidget* widget) {
        auto* tabs = W<QTabWidget>("SSTab1");
        for (int tab = 0; tab < tabs->count(); ++tab) {
            if (tabs->widget(tab)->isAncestorOf(widget)) tabs->setCurrentIndex(tab);
        }
    }

    // Presses OK while `answers` answers the boxes it opens.
    std::vector<SeenBox> PressOk(ModalAnswers& answers) {
        W<QPushButton>("cmdOK")->click();
        return answers.Seen();
    }
    std::vector<SeenBox> PressOk() {
        ModalAnswers answers;
        return PressOk(answers);
    }

    [[nodiscard]] bool Saved() const { return QFile::exists(SettingsFilePath(dir_.path())); }
    [[nodiscard]] AgentSettings Stored() const {
        AgentSettings loaded;
        (void)LoadSettings(SettingsFilePath(dir_.path()), loaded);
        return loaded;
    }
    [[nodiscard]] QStringList Log() const { return LogMessages(dir_.path()); }

    QTemporaryDir dir_;
    AgentSettings settings_ = SampleSettings();
    const AgentSettings original_ = SampleSettings();
    AgentLog log_{dir_.path(), settings_, [] { return kLogTime; }};
    QStringList helps_;
    int captions_ = 0;
    std::unique_ptr<EnvDialog> dialog_;
};

// ---- Key filters ------------------------------------------------------------------------------

struct KeyRow {
    const char* box;
    const char* start;
    int key;
    const char* text;  // what the key types
    const char* after;
    int beeps;
};

TEST_F(EnvDialogTest, KeyFiltersAcceptOrSwallowEachKey) {
    const KeyRow rows[] = {
        // Filter D: digits and Backspace only, any other typed key beeps.
        {"txtPOP3Port", "", Qt::Key_7, "7", "7", 0},
        {"txtPOP3Port", "12", Qt::Key_Backspace, "", "1", 0},
        {"txtPOP3Port", "", Qt::Key_A, "a", "", 1},
        {"txtPOP3Port", "", Qt::Key_Space, " ", "", 1},
        {"txtPOP3Port", "", Qt::Key_Minus, "-", "", 1},
        {"txtPOP3Port", "12", Qt::Key_Left, "", "12", 0},
        {"txtSMTPPort", "", Qt::Key_Comma, ",", "", 1},
        {"txtChkMailInt", "", Qt::Key_0, "0", "0", 0},
        {"txtAutoInformInt", "", Qt::Key_Period, ".", "", 1},
        {"txtOneMailMaxChar", "", Qt::Key_9, "9", "9", 0},
        {"txtSeparateMax", "", Qt::Key_X, "x", "", 1},
        {"txtOneMailMaxLine", "", Qt::Key_5, "5", "5", 0},
        // Filter S: space and comma vanish without a beep.
        {"txtMailAddr1", "a", Qt::Key_Space, " ", "a", 0},
        {"txtMailAddr1", "a", Qt::Key_Comma, ",", "a", 0},
        {"txtMailAddr1", "a", Qt::Key_At, "@", "a@", 0},
        {"txtMailAddr2", "", Qt::Key_Comma, ",", "", 0},
        {"txtListRequest", "", Qt::Key_Space, " ", "", 0},
        {"txtBodyRequest", "", Qt::Key_B, "b", "b", 0},
        {"txtTransRequest", "", Qt::Key_Comma, ",", "", 0},
        {"txtDelRequest", "", Qt::Key_Space, " ", "", 0},
        {"txtPOP3", "pop", Qt::Key_Space, " ", "pop", 0},
        {"txtSMTP", "", Qt::Key_Comma, ",", "", 0},
        {"txtFrom", "", Qt::Key_Space, " ", "", 0},
        // No filter.
        {"txtSvLogin", "a", Qt::Key_Space, " ", "a ", 0},
        {"txtLockTelop", "a", Qt::Key_Comma, ",", "a,", 0},
        {"txtQuoteTop", "", Qt::Key_Space, " ", " ", 0},
        {"txtFromName", "", Qt::Key_Comma, ",", ",", 0},
        {"txtTransHeader", "", Qt::Key_Space, " ", " ", 0},
    };
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(std::string(row.box) + " key " + row.text);
        QLineEdit* box = W(row.box);
        int beeps = 0;
        for (QObject* child : box->children()) {
            if (auto* filter = dynamic_cast<KeyFilter*>(child)) filter->SetBeep([&beeps] { ++beeps; });
        }
        ShowTabOf(box);
        box->setEnabled(true);
        box->setText(QString::fromUtf8(row.start));
        QTest::keyClick(box, static_cast<Qt::Key>(row.key), Qt::NoModifier);
        EXPECT_EQ(box->text(), QString::fromUtf8(row.after));
        EXPECT_EQ(beeps, row.beeps);
    }
}

TEST(JudgeKeyTest, KeysThatTypeNothingAlwaysPass) {
    for (KeyRule rule : {KeyRule::DigitsOnly, KeyRule::NoBlankNoComma, KeyRule::NoComma}) {
        for (int key : {Qt::Key_Delete, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Home}) {
            EXPECT_EQ(JudgeKey(rule, key, key == Qt::Key_Return ? QStringLiteral("\r") : QString()),
                      KeyVerdict::Accept);
        }
    }
    EXPECT_EQ(JudgeKey(KeyRule::DigitsOnly, Qt::Key_V, QStringLiteral("\x16")), KeyVerdict::SwallowWithBeep);
    EXPECT_EQ(JudgeKey(KeyRule::NoComma, Qt::Key_Space, QStringLiteral(" ")), KeyVerdict::Accept);
    EXPECT_EQ(JudgeKey(KeyRule::NoComma, Qt::Key_Comma, QStringLiteral(",")), KeyVerdict::Swallow);
}

TEST_F(EnvDialogTest, BoxesHaveTheirLengthsAndTheInputMethodOff) {
    const std::pair<const char*, int> lengths[] = {
        {"txtOneMailMaxChar", 3}, {"txtSeparateMax", 2}, {"txtOneMailMaxLine", 2}, {"txtQuoteTop", 20},
        {"txtPOP3Port", 5},       {"txtSMTPPort", 5},    {"txtChkMailInt", 4},     {"txtAutoInformInt", 4}};
    for (const auto& [name, length] : lengths) EXPECT_EQ(W(name)->maxLength(), length) << name;
    for (const char* name :
         {"txtMailAddr1", "txtMailAddr2", "txtUnlockPasswd", "txtOneMailMaxChar", "txtPOP3", "txtPOP3Port",
          "txtSMTP", "txtSvLogin", "txtSvPasswd", "txtFrom", "txtChkMailInt", "txtAutoInformInt"}) {
        EXPECT_FALSE(W(name)->testAttribute(Qt::WA_InputMethodEnabled)) << name;
    }
    for (const char* name : {"txtUnlockPasswd", "txtSvPasswd"}) {
        EXPECT_EQ(W(name)->echoMode(), QLineEdit::Password) << name;
        EXPECT_EQ(W(name)->text(), kPlaceholder) << name;
    }
}

// ---- Load, enabling and tab rules -------------------------------------------------------------

TEST_F(EnvDialogTest, LoadFillsEveryBoxFromTheRecord) {
    EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Mirelo環境設定"));
    EXPECT_EQ(W("txtMailAddr1")->text(), QStringLiteral("phone@docomo.ne.jp"));
    EXPECT_EQ(W("txtPOP3Port")->text(), QStringLiteral("1110"));
    EXPECT_EQ(W("txtQuoteTop")->text(), QStringLiteral(">>;>;|"));
    EXPECT_FALSE(W<QCheckBox>("chkCmdByBody")->isChecked());
    EXPECT_TRUE(W<QCheckBox>("chkSaveLog")->isChecked());
    auto* tabs = W<QTabWidget>("SSTab1");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Mirelo基本動作"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("メール送信方法"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("メールサーバ"));
    EXPECT_EQ(W<QGroupBox>("frameSettings")->title(), QStringLiteral("Mirelo動作情報"));
    EXPECT_EQ(W<QGroupBox>("frameExtSettings")->title(), QStringLiteral("メール送信方法"));
    EXPECT_EQ(W<QGroupBox>("frameMailServer")->title(), QStringLiteral("メールサーバ情報"));
    EXPECT_EQ(W<QPushButton>("cmdCancel")->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(W<QPushButton>("cmdHelp")->text(), QStringLiteral("ヘルプ"));
    EXPECT_TRUE(W<QPushButton>("cmdOK")->isDefault());
}

TEST_F(EnvDialogTest, EachCheckBoxEnablesItsBoxAndLabels) {
    const std::pair<const char*, std::vector<const char*>> rules[] = {
        {"chkLock", {"lblLockTelop", "txtLockTelop"}},
        {"chkNeedPasswd", {"lblUnlockPasswd", "txtUnlockPasswd"}},
        {"chkRemoveQuote", {"lblQuoteTop", "txtQuoteTop"}},
        {"chkAutoInform", {"lblAutoInformInt1", "txtAutoInformInt", "lblAutoInformInt2"}},
    };
    for (const auto& [check, dependents] : rules) {
        auto* box = W<QCheckBox>(check);
        ShowTabOf(box);
        for (bool on : {true, false, true}) {
            box->click();
            box->setChecked(on);
            for (const char* name : dependents) {
                EXPECT_EQ(W<QWidget>(name)->isEnabled(), on) << check << " " << on << " " << name;
            }
        }
    }
}

TEST_F(EnvDialogTest, LoadAppliesTheEnablingRulesOnce) {
    settings_.ScreenLock = false;
    settings_.NeedUnlockPassword = true;
    settings_.RemoveQuote = false;
    settings_.AutoInform = false;
    Open();
    EXPECT_FALSE(W<QLabel>("lblLockTelop")->isEnabled());
    EXPECT_TRUE(W("txtUnlockPasswd")->isEnabled());
    W<QTabWidget>("SSTab1")->setCurrentIndex(1);
    EXPECT_FALSE(W("txtQuoteTop")->isEnabled());
    W<QTabWidget>("SSTab1")->setCurrentIndex(2);
    EXPECT_FALSE(W<QLabel>("lblAutoInformInt2")->isEnabled());
}

TEST_F(EnvDialogTest, TabRuleEnablesOneFrameAndFocusesItsFirstBoxAndHelpUsesItsKeyword) {
    const char* frames[] = {"frameSettings", "frameExtSettings", "frameMailServer"};
    const char* first[] = {"txtMailAddr1", "txtOneMailMaxChar", "txtPOP3"};
    auto* tabs = W<QTabWidget>("SSTab1");
    EXPECT_EQ(tabs->currentIndex(), 0);
    for (int tab : {0, 2, 1}) {
        tabs->setCurrentIndex(tab);
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(W<QWidget>(frames[other])->isEnabled(), other == tab);
        EXPECT_EQ(dialog_->focusWidget(), W(first[tab]));
        W<QPushButton>("cmdHelp")->click();
    }
    EXPECT_EQ(helps_,
              QStringList({QStringLiteral("環境設定－基本動作設定"), QStringLiteral("環境設定－メールサーバ"),
                           QStringLiteral("環境設定－メール送信方法")}));
}

// ---- OK ---------------------------------------------------------------------------------------

TEST_F(EnvDialogTest, OkWithNothingTypedKeepsBothPasswordsAndRewritesTheFile) {
    EXPECT_TRUE(PressOk().empty());
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(settings_, original_);
    AgentSettings stored = Stored();
    EXPECT_EQ(stored, original_);
    EXPECT_EQ(Log(), QStringList({QStringLiteral("+Mirelo environment change start."),
                                  QStringLiteral("-Mirelo environment change end.")}));
    EXPECT_EQ(captions_, 1);
}

TEST_F(EnvDialogTest, PasswordsTypedAsFiveBackslashesAreNoChangeOthersAreTaken) {
    settings_.NeedUnlockPassword = true;
    Open();
    for (auto [tab, box] : {std::pair{0, "txtUnlockPasswd"}, std::pair{2, "txtSvPasswd"}}) {
        W<QTabWidget>("SSTab1")->setCurrentIndex(tab);
        W(box)->clear();
        QTest::keyClicks(W(box), kPlaceholder);
        EXPECT_EQ(W(box)->text(), kPlaceholder);
    }
    PressOk();
    EXPECT_EQ(Stored().UnlockPassword, QStringLiteral("unlock-pw"));
    EXPECT_EQ(Stored().SvPasswd, QStringLiteral("pop-secret"));

    Open();
    Set("txtUnlockPasswd", QStringLiteral("new-unlock"));
    Set("txtSvPasswd", QStringLiteral("new\\pop"));
    PressOk();
    EXPECT_EQ(Stored().UnlockPassword, QStringLiteral("new-unlock"));
    EXPECT_EQ(Stored().SvPasswd, QStringLiteral("new\\pop"));
}

struct NumericRow {
    const char* name;
    const char* box;
    const char* text;
    const char* message;  // nullptr: accepted
    const char* abort;
};

TEST_F(EnvDialogTest, TheThreeNumericChecks) {
    const NumericRow rows[] = {
        {"SeparateMax0", "txtSeparateMax", "0", "メール分割最大数または分割時最大行数が不正です。",
         "-Mirelo environment change abort(wrong setting1)."},
        {"OneMailMaxLine0", "txtOneMailMaxLine", "0", "メール分割最大数または分割時最大行数が不正です。",
         "-Mirelo environment change abort(wrong setting1)."},
        {"CheckInterval0", "txtChkMailInt", "0", "メールチェック間隔が不正です。",
         "-Mirelo environment change abort(wrong setting2)."},
        {"AutoInformInterval9", "txtAutoInformInt", "9", "自動通知間隔は１０分以上を設定してください。",
         "-Mirelo environment change abort(wrong setting3)."},
        {"AutoInformInterval10", "txtAutoInformInt", "10", nullptr, nullptr},
        {"OneMailMaxChar0", "txtOneMailMaxChar", "0", nullptr, nullptr},
    };
    for (const NumericRow& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(SettingsFilePath(dir_.path()));
        QFile::remove(QDir(dir_.path()).filePath(QStringLiteral("Mirelo.log")));
        settings_ = original_;
        ASSERT_FALSE(settings_.AutoInform);
        Open();
        Set(row.box, QString::fromUtf8(row.text));
        ModalAnswers answers;
        if (row.message != nullptr) answers.Press();
        const auto seen = PressOk(answers);
        if (row.message == nullptr) {
            EXPECT_TRUE(Saved());
            EXPECT_EQ(Log().size(), 2);
            continue;
        }
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, QStringLiteral("エラー"));
        EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
        EXPECT_EQ(seen[0].text, QString::fromUtf8(row.message));
        EXPECT_EQ(Log(), QStringList({QStringLiteral("+Mirelo environment change start."),
                                      QString::fromUtf8(row.abort)}));
        EXPECT_FALSE(Saved());
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_EQ(W(row.box)->text(), QString::fromUtf8(row.text));
    }
}

struct NumberBoxRow {
    const char* box;
    const char* text;
    const char* message;
};

TEST_F(EnvDialogTest, NumberBoxesThatDoNotFitSixteenBitsAreRefusedByName) {
    const NumberBoxRow rows[] = {
        {"txtPOP3Port", "40000", "「POP3ｻｰﾊﾞPORT番号」の値が不正です。32767以下の数値を入力してください。"},
        {"txtSMTPPort", "32768", "「SMTPｻｰﾊﾞPORT番号」の値が不正です。32767以下の数値を入力してください。"},
        {"txtChkMailInt", "", "「ﾒｰﾙﾁｪｯｸ間隔」が未入力です。数値を入力してください。"},
        {"txtSeparateMax", "", "「ﾒｰﾙ分割最大数」が未入力です。数値を入力してください。"},
        {"txtOneMailMaxChar", "1x", "「分割する文字数」の値が不正です。32767以下の数値を入力してください。"},
    };
    for (const NumberBoxRow& row : rows) {
        SCOPED_TRACE(row.box);
        Open();
        Set(row.box, QString::fromUtf8(row.text));
        ModalAnswers answers;
        answers.Press();
        const auto seen = PressOk(answers);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, QString::fromUtf8(row.message));
        EXPECT_EQ(dialog_->focusWidget(), W(row.box));
        EXPECT_TRUE(Log().isEmpty());
        EXPECT_FALSE(Saved());
        EXPECT_EQ(settings_, original_);
    }
    Open();
    Set("txtPOP3Port", QStringLiteral("32767"));
    PressOk();
    EXPECT_EQ(Stored().POP3Port, 32767);
}

struct AddressRow {
    const char* name;
    const char* typedServerPassword;  // nullptr: the box keeps the placeholder
    const char* answer;
    bool confirmed;
};

TEST_F(EnvDialogTest, ANewPhoneAddressAsksForTheServerPassword) {
    const AddressRow rows[] = {
        {"StoredRight", nullptr, "pop-secret", true},
        {"StoredWrong", nullptr, "POP-SECRET", false},
        {"TypedCounts", "changed-pop", "changed-pop", true},
        {"TypedNotStored", "changed-pop", "pop-secret", false},
    };
    for (const AddressRow& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(QDir(dir_.path()).filePath(QStringLiteral("Mirelo.log")));
        QFile::remove(SettingsFilePath(dir_.path()));
        settings_ = original_;
        Open();
        Set("txtMailAddr1", QStringLiteral("new@docomo.ne.jp"));
        if (row.typedServerPassword != nullptr)
            Set("txtSvPasswd", QString::fromUtf8(row.typedServerPassword));
        W<QTabWidget>("SSTab1")->setCurrentIndex(2);
        ModalAnswers answers;
        answers.Press().Type(QString::fromUtf8(row.answer));
        if (!row.confirmed) answers.Press();
        const auto seen = PressOk(answers);

        ASSERT_EQ(seen.size(), row.confirmed ? 2u : 3u);
        EXPECT_EQ(seen[0].title, QStringLiteral("メールアドレスの変更確認"));
        EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
        EXPECT_EQ(seen[0].text,
                  QStringLiteral("携帯端末のメールアドレスが変更されました。\r\n"
                                 "セキュリティ確保のためメールサーバへのパスワードを入力してください。"));
        EXPECT_EQ(seen[1].objectName, QStringLiteral("UnlockPasswd"));
        EXPECT_EQ(seen[1].prompt, QStringLiteral("ｻｰﾊﾞへのﾊﾟｽﾜｰﾄﾞを入力してください。"));
        EXPECT_EQ(settings_.UnlockPassword, QStringLiteral("unlock-pw"));
        if (row.confirmed) {
            EXPECT_EQ(Log(), QStringList({QStringLiteral("+Mirelo environment change start."),
                                          QStringLiteral("  !!Change mail address to new@docomo.ne.jp!!"),
                                          QStringLiteral("-Mirelo environment change end.")}));
            EXPECT_EQ(Stored().MailAddr1, QStringLiteral("new@docomo.ne.jp"));
            EXPECT_EQ(Stored().UnlockPassword, QStringLiteral("unlock-pw"));
        } else {
            EXPECT_EQ(seen[2].text, QStringLiteral("パスワードが不正です。"));
            EXPECT_EQ(Log(),
                      QStringList({QStringLiteral("+Mirelo environment change start."),
                                   QStringLiteral("-Mirelo environment change abort(!!wrong password!!).")}));
            AgentSettings expected = original_;
            EXPECT_EQ(settings_, expected);
            EXPECT_FALSE(Saved());
            EXPECT_TRUE(dialog_->isVisible());
            EXPECT_EQ(W<QTabWidget>("SSTab1")->currentIndex(), 0);  // the prompt gave the dialog back
        }
    }
}

TEST_F(EnvDialogTest, AFailedCheckKeepsTheConfirmedAddressSoTheNextOkDoesNotAskAgain) {
    Set("txtMailAddr1", QStringLiteral("new@docomo.ne.jp"));
    Set("txtChkMailInt", QStringLiteral("0"));
    {
        ModalAnswers first;
        first.Press().Type(QStringLiteral("pop-secret")).Press();
        PressOk(first);
    }
    EXPECT_EQ(settings_.MailAddr1, QStringLiteral("new@docomo.ne.jp"));
    EXPECT_FALSE(Saved());
    Set("txtChkMailInt", QStringLiteral("4"));
    EXPECT_TRUE(PressOk().empty());
    EXPECT_EQ(Stored().CheckInterval, 4);
    EXPECT_EQ(Log(), QStringList({QStringLiteral("+Mirelo environment change start."),
                                  QStringLiteral("  !!Change mail address to new@docomo.ne.jp!!"),
                                  QStringLiteral("-Mirelo environment change abort(wrong setting2)."),
                                  QStringLiteral("+Mirelo environment change start."),
                                  QStringLiteral("-Mirelo environment change end.")}));
}

struct RoundTripRow {
    const char* box;
    QString text;
    const char* label;
};

TEST_F(EnvDialogTest, ValuesTheFileWouldNotGiveBackAreRefusedBeforeAnythingIsTaken) {
    const RoundTripRow rows[] = {
        {"txtPOP3", QString(100, u'p'), "「POP3ｻｰﾊﾞ」"},
        {"txtSvLogin", QStringLiteral("ag\\ent"), "「ｻｰﾊﾞのﾛｸﾞｲﾝ名」"},
        {"txtLockTelop", QStringLiteral("転送😀"), "「ﾛｯｸ中の表示文字列」"},
        {"txtQuoteTop", QStringLiteral(">> "), "「引用文の先頭」"},
        {"txtUnlockPasswd", QStringLiteral("a~b"), "「転送待機の解除のﾊﾟｽﾜｰﾄﾞ」"},
    };
    for (const RoundTripRow& row : rows) {
        SCOPED_TRACE(row.box);
        Open();
        W<QCheckBox>("chkNeedPasswd")->setChecked(true);
        Set(row.box, row.text);
        ModalAnswers answers;
        answers.Press();
        const auto seen = PressOk(answers);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, QStringLiteral("エラー"));
        EXPECT_TRUE(seen[0].text.startsWith(QString::fromUtf8(row.label) +
                                            QStringLiteral("の値は設定ファイルに保存できません。")))
            << seen[0].text.toStdString();
        EXPECT_EQ(dialog_->focusWidget(), W(row.box));
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_FALSE(Saved());
        EXPECT_TRUE(Log().isEmpty());
        EXPECT_EQ(settings_, original_);
    }
}

TEST_F(EnvDialogTest, AFailedSaveIsShownAndLoggedAndTheDialogStays) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Mirelo.ini")));
    ModalAnswers answers;
    answers.Press();
    const auto seen = PressOk(answers);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(seen[0].text.startsWith(QStringLiteral("設定を保存できませんでした。\r\n")));
    EXPECT_GT(seen[0].text.size(), 16);
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("ERROR SaveSettings:"))) << log[1].toStdString();
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(captions_, 0);
}

TEST_F(EnvDialogTest, CancelTakesAndSavesNothing) {
    Set("txtPOP3", QStringLiteral("other.example.jp"));
    W<QPushButton>("cmdCancel")->click();
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
    EXPECT_EQ(settings_, original_);
    EXPECT_FALSE(Saved());
    EXPECT_TRUE(Log().isEmpty());
}

// ---- Connection security ----------------------------------------------------------------------

TEST_F(EnvDialogTest, SecurityFieldsLoadAndAreTakenAtOk) {
    settings_.POP3Security = 1;
    settings_.SMTPSecurity = 2;
    settings_.SMTPUser = QStringLiteral("sender");
    settings_.SMTPPasswd = QStringLiteral("smtp-secret");
    settings_.CAFile = QStringLiteral("/etc/mirelo/ca.pem");
    Open();
    auto* pop3 = W<QComboBox>("cmbPop3Security");
    auto* smtp = W<QComboBox>("cmbSmtpSecurity");
    EXPECT_EQ(pop3->currentIndex(), 1);
    EXPECT_EQ(smtp->currentIndex(), 2);
    EXPECT_EQ(pop3->itemText(0), QStringLiteral("なし"));
    EXPECT_EQ(pop3->itemText(1), QStringLiteral("STLS"));
    EXPECT_EQ(pop3->itemText(2), QStringLiteral("SSL/TLS"));
    EXPECT_EQ(smtp->itemText(1), QStringLiteral("STARTTLS"));
    EXPECT_EQ(W("txtSmtpUser")->text(), QStringLiteral("sender"));
    EXPECT_EQ(W("txtSmtpPasswd")->text(), kPlaceholder);
    EXPECT_EQ(W("txtSmtpPasswd")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(W("txtCaFile")->text(), QStringLiteral("/etc/mirelo/ca.pem"));
    EXPECT_EQ(W("txtPOP3Port")->text(), QStringLiteral("1110"));  // loading proposes no port

    PressOk();  // nothing typed: the placeholder keeps the password
    EXPECT_EQ(Stored(), settings_);
    EXPECT_EQ(Stored().SMTPPasswd, QStringLiteral("smtp-secret"));

    Open();
    W<QTabWidget>("SSTab1")->setCurrentIndex(2);
    W<QComboBox>("cmbPop3Security")->setCurrentIndex(0);
    W<QComboBox>("cmbSmtpSecurity")->setCurrentIndex(1);
    Set("txtSmtpUser", QStringLiteral("other"));
    Set("txtSmtpPasswd", QStringLiteral("typed-pw"));
    Set("txtCaFile", QString());
    PressOk();
    const AgentSettings stored = Stored();
    EXPECT_EQ(stored.POP3Security, 0);
    EXPECT_EQ(stored.SMTPSecurity, 1);
    EXPECT_EQ(stored.SMTPUser, QStringLiteral("other"));
    EXPECT_EQ(stored.SMTPPasswd, QStringLiteral("typed-pw"));
    EXPECT_EQ(stored.CAFile, QString());
    QFile file(SettingsFilePath(dir_.path()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("typed-pw"));
}

struct PortStep {
    const char* combo;
    const char* port;  // the port box
    int mode;          // chosen in the combo
    const char* expected;
};

// TLS from the connect proposes its port only over the plain default, and leaving it gives that back.
TEST_F(EnvDialogTest, ChoosingTlsProposesItsPortOverThePlainDefault) {
    const PortStep steps[] = {
        {"cmbPop3Security", "110", 2, "995"},   {"cmbPop3Security", "995", 0, "110"},
        {"cmbPop3Security", "110", 1, "110"},   {"cmbPop3Security", "110", 2, "995"},
        {"cmbPop3Security", "995", 1, "110"},   {"cmbPop3Security", "1110", 2, "1110"},
        {"cmbPop3Security", "1110", 0, "1110"}, {"cmbSmtpSecurity", "25", 1, "25"},
        {"cmbSmtpSecurity", "25", 2, "465"},    {"cmbSmtpSecurity", "465", 0, "25"},
        {"cmbSmtpSecurity", "587", 2, "587"},
    };
    W<QTabWidget>("SSTab1")->setCurrentIndex(2);
    int step = 0;
    for (const PortStep& s : steps) {
        SCOPED_TRACE(++step);
        const bool pop3 = QLatin1String(s.combo) == QLatin1String("cmbPop3Security");
        QLineEdit* port = W(pop3 ? "txtPOP3Port" : "txtSMTPPort");
        port->setText(QString::fromLatin1(s.port));
        W<QComboBox>(s.combo)->setCurrentIndex(s.mode);
        EXPECT_EQ(port->text(), QString::fromLatin1(s.expected));
    }
}

TEST(ProposedPortTest, OnlyTheDefaultsMove) {
    EXPECT_EQ(ProposedPort(0, 2, QStringLiteral(" 110"), 110, 995), QStringLiteral("995"));
    EXPECT_EQ(ProposedPort(2, 2, QStringLiteral("110"), 110, 995), QStringLiteral("110"));
    EXPECT_EQ(ProposedPort(0, 2, QString(), 110, 995), QString());
    EXPECT_EQ(ProposedPort(2, 1, QStringLiteral("465"), 25, 465), QStringLiteral("25"));
}

}  // namespace
}  // namespace mirelo
