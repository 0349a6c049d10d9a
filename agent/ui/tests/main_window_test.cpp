#include "agent/ui/main_window.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <memory>

#include "agent/config/settings_file.h"
#include "agent/engine/agent_log.h"
#include "agent/engine/tests/engine_doubles.h"
#include "agent/engine/tests/log_messages.h"
#include "agent/ui/help_window.h"
#include "agent/ui/lock_screen.h"
#include "agent/ui/tests/modal_answers.h"
#include "agent/ui/working_window.h"
#include "ui_test_support.h"

namespace mirelo {
namespace {

using namespace testing_support;

// A main window in a fresh program folder, with recording dialogs and idle fake components.
class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() { TestApp(); }

    MainW& Window() {
        if (!window_) {
            MainWindowDialogs dialogs{[this](QWidget*) { ++settingsOpened_; },
                                      [this](QWidget* owner) {
                                          ++wizardRuns_;
                                          shownBeforeWizard_ = owner->isVisible();
                                      }};
            window_ = std::make_unique<MainW>(MainW::Parts{
                settings_, dir_.path(), log_, dialogs, [] {
                    return EngineComponents{std::make_unique<FakePop3>(), std::make_unique<FakeSmtp>()};
                }});
            window_->SetQuitter([this] { ++quits_; });
        }
        return *window_;
    }
    // Saves `stored` as the program folder's INI file, loads the window and shows it.
    void LoadShown(const AgentSettings& stored) {
        ASSERT_TRUE(SaveSettings(SettingsFilePath(dir_.path()), stored, QStringLiteral("ALL")).ok);
        Window().Load();
        Window().show();
    }
    void Click(QWidget& parent, const QString& name) {
        auto* button = parent.findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        button->click();
    }
    QStringList LogLines() const { return testing_support::LogMessages(dir_.path()); }
    // Leaves waiting mode through the stop button (no password asked).
    void StopWaiting() {
        Click(*Window().WorkingWindow(), QStringLiteral("StopButton"));
        QCoreApplication::sendPostedEvents();
    }

    QTemporaryDir dir_;
    AgentSettings settings_;
    AgentLog log_{dir_.path(), settings_};
    std::unique_ptr<MainW> window_;
    int settingsOpened_ = 0;
    int wizardRuns_ = 0;
    bool shownBeforeWizard_ = false;
    int quits_ = 0;
};

AgentSettings Complete() {
    AgentSettings s = PhoneSettings();
    s.ScreenLock = false;
    s.NeedUnlockPassword = false;
    return s;
}

TEST_F(MainWindowTest, WizardRunsBeforeTheWindowShowsWhenTheSettingsAreIncomplete) {
    struct Row {
        const char* name;
        bool writeFile;
        QString AgentSettings::*emptied;
        bool startWizardInFile;
        bool wizardRuns;
    };
    const Row rows[] = {
        {"no file", false, nullptr, false, true},
        {"complete, saved", true, nullptr, false, false},
        {"complete, StartWizard TRUE", true, nullptr, true, true},
        {"no POP3 password", true, &AgentSettings::SvPasswd, false, true},
        {"no sender address", true, &AgentSettings::FromMailAddr, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        AgentSettings stored = Complete();
        if (row.emptied) stored.*row.emptied = QString();
        const QString ini = SettingsFilePath(dir.path());
        if (row.writeFile) {
            ASSERT_TRUE(SaveSettings(ini, stored, QStringLiteral("ALL")).ok);
        }
        if (row.startWizardInFile) {
            QFile file(ini);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            QByteArray text = file.readAll().replace("StartWizard=FALSE", "StartWizard=TRUE");
            file.seek(0);
            file.write(text);
        }
        AgentSettings settings;
        AgentLog log(dir.path(), settings);
        int runs = 0;
        MainW window({settings, dir.path(), log, {{}, [&](QWidget* owner) {
                                                      ++runs;
                                                      EXPECT_FALSE(owner->isVisible());
                                                  }}});
        window.Load();
        EXPECT_EQ(runs, row.wizardRuns ? 1 : 0);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Mirelo - ") + settings.MailAddr1);
        EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("VerLabel"))->text(),
                  QStringLiteral("Version ") + QStringLiteral(MIRELO_VERSION));
    }
}

TEST_F(MainWindowTest, IncompleteSettingsRefuseWaitingMode) {
    AgentSettings stored = Complete();
    stored.POP3Server.clear();
    LoadShown(stored);
    EXPECT_EQ(Window().windowTitle(), QStringLiteral("Mirelo - phone@mirelo.test"));
    ModalAnswers answers;
    answers.Press();
    Click(Window(), QStringLiteral("Command1_0"));
    ASSERT_EQ(answers.Seen().size(), 1u);
    const SeenBox& seen = answers.Seen()[0];
    EXPECT_EQ(seen.title, QStringLiteral("エラー"));
    EXPECT_EQ(seen.text, QStringLiteral("携帯端末のアドレスまたはメールサーバの設定が行われていません。"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(Window().WorkingWindow(), nullptr);
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(MainWindowTest, LockTextPromptKeepsOrReplacesTheTextInMemoryOnly) {
    struct Row {
        const char* name;
        QString answer;
        bool ok;
        QString telop;
    };
    const Row rows[] = {
        {"empty answer keeps", QString(), true, QStringLiteral("転送待機中です。")},
        {"cancel keeps", QStringLiteral("捨てる"), false, QStringLiteral("転送待機中です。")},
        {"text replaces", QStringLiteral("会議中"), true, QStringLiteral("会議中")},
    };
    AgentSettings stored = Complete();
    stored.ScreenLock = true;
    LoadShown(stored);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        settings_.LockTelop = QStringLiteral("転送待機中です。");
        {
            ModalAnswers answers;
            answers.Input(row.answer, row.ok);
            Click(Window(), QStringLiteral("Command1_0"));
            ASSERT_EQ(answers.Seen().size(), 1u);
            EXPECT_EQ(answers.Seen()[0].input, QStringLiteral("転送待機中です。"));
        }
        EXPECT_EQ(settings_.LockTelop, row.telop);
        LockScreen* lock = Window().Lock();
        ASSERT_NE(lock, nullptr);
        EXPECT_EQ(lock->findChild<QLabel*>(QStringLiteral("Telop1"))->text(), row.telop);
        Working* working = Window().WorkingWindow();
        ASSERT_NE(working, nullptr);
        EXPECT_EQ(working->parentWidget(), lock);
        EXPECT_FALSE(Window().isVisible());

        StopWaiting();
        EXPECT_EQ(Window().Lock(), nullptr);
        EXPECT_TRUE(Window().isVisible());
    }
    AgentSettings reloaded;
    (void)LoadSettings(SettingsFilePath(dir_.path()), reloaded);
    EXPECT_EQ(reloaded.LockTelop, QStringLiteral("転送待機中です。"));
    EXPECT_TRUE(LogLines().filter(QStringLiteral(">-- Exit Waiting Mode --<")).size() >= 1);
}

TEST_F(MainWindowTest, UnlockPasswordGuardsTheWayIntoWaitingMode) {
    AgentSettings stored = Complete();
    stored.NeedUnlockPassword = true;
    stored.UnlockPassword = QStringLiteral("Secret");
    LoadShown(stored);

    {
        ModalAnswers answers;
        answers.Press().Type(QStringLiteral("secret")).Press();
        Click(Window(), QStringLiteral("Command1_0"));
        ASSERT_EQ(answers.Seen().size(), 3u);
        const SeenBox& notice = answers.Seen()[0];
        const SeenBox& refusal = answers.Seen()[2];
        EXPECT_EQ(notice.title, QStringLiteral("ロック解除パスワードの確認"));
        EXPECT_EQ(notice.text, QStringLiteral("ロック解除用パスワードが設定されています。\r\n"
                                              "確認のためロック解除パスワードを入力してください。"));
        EXPECT_EQ(notice.icon, QMessageBox::Warning);
        EXPECT_EQ(refusal.text, QStringLiteral("パスワードが不正です。"));
        EXPECT_EQ(Window().WorkingWindow(), nullptr);
        EXPECT_TRUE(Window().isVisible());
    }

    {
        ModalAnswers right;
        right.Press().Type(QStringLiteral("Secret"));
        Click(Window(), QStringLiteral("Command1_0"));
    }
    ASSERT_NE(Window().WorkingWindow(), nullptr);
    EXPECT_EQ(Window().Lock(), nullptr);  // ScreenLock off
    EXPECT_TRUE(Window().WorkingWindow()->isVisible());
    EXPECT_FALSE(Window().isVisible());
}

TEST_F(MainWindowTest, StopButtonAsksThePasswordAndCloseIsRefusedWithoutIt) {
    AgentSettings stored = Complete();
    stored.NeedUnlockPassword = true;
    stored.UnlockPassword = QStringLiteral("pw");
    LoadShown(stored);
    {
        ModalAnswers answers;
        answers.Press().Type(QStringLiteral("pw"));
        Click(Window(), QStringLiteral("Command1_0"));
    }
    Working* working = Window().WorkingWindow();
    ASSERT_NE(working, nullptr);
    // The password that opened waiting mode does not open the close box too.
    EXPECT_FALSE(working->close());

    {
        ModalAnswers answers;
        answers.Type(QStringLiteral("PW")).Press();
        Click(*working, QStringLiteral("StopButton"));
    }
    EXPECT_EQ(Window().WorkingWindow(), working);
    EXPECT_TRUE(working->isVisible());
    EXPECT_EQ(LogLines().filter(QStringLiteral("!!Wrong password(for quit waiting mode)!!")).size(), 1);

    EXPECT_FALSE(working->close());
    EXPECT_TRUE(working->isVisible());

    {
        ModalAnswers answers;
        answers.Type(QStringLiteral("pw"));
        Click(*working, QStringLiteral("StopButton"));
    }
    EXPECT_EQ(Window().WorkingWindow(), nullptr);
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(MainWindowTest, SettingsHelpAndExitButtons) {
    LoadShown(Complete());
    Click(Window(), QStringLiteral("Command1_1"));
    EXPECT_EQ(settingsOpened_, 1);

    Click(Window(), QStringLiteral("Command1_2"));
    auto* help = Window().findChild<QTextBrowser*>(QStringLiteral("HelpWindow"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->source().toLocalFile().endsWith(QStringLiteral("mirelo-help.html")));
    EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Mirelo")));

    Click(Window(), QStringLiteral("Command1_3"));
    EXPECT_EQ(quits_, 1);
}

TEST_F(MainWindowTest, ButtonsCarryTheirCaptionsAndPictures) {
    LoadShown(Complete());
    const QString captions[] = {QStringLiteral("転送待機状態にする"), QStringLiteral("動作環境設定"),
                                QStringLiteral("ヘルプ"), QStringLiteral("終了")};
    for (int i = 0; i < 4; ++i) {
        auto* button = Window().findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(i));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), captions[i]);
        EXPECT_FALSE(button->icon().isNull());
    }
    EXPECT_EQ(Window().findChild<QLabel*>(QStringLiteral("Label1"))->text(),
              QStringLiteral("携帯端末向けメール転送エージェント"));
    EXPECT_FALSE(Window().findChild<QLabel*>(QStringLiteral("Picture1"))->pixmap().isNull());
    EXPECT_EQ(Window().minimumSize(), Window().maximumSize());
}

TEST(HelpUrl, EachSettingsKeywordHasItsTopic) {
    TestApp();
    const std::pair<QString, QString> topics[] = {
        {QStringLiteral("環境設定－基本動作設定"), QStringLiteral("kihon")},
        {QStringLiteral("環境設定－メール送信方法"), QStringLiteral("soushin")},
        {QStringLiteral("環境設定－メールサーバ"), QStringLiteral("server")},
        {QString(), QString()},
    };
    QFile file(HelpFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << HelpFilePath().toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    for (const auto& [keyword, anchor] : topics) {
        const QUrl url = HelpUrl(keyword);
        EXPECT_EQ(url.fragment(), anchor);
        if (!anchor.isEmpty()) {
            EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor)));
        }
    }
}

}  // namespace
}  // namespace mirelo
