// Renders each window of the agent with sample settings, as the owner would see it, into PNG files:
// the main window, Working, the lock, the unlock prompt, each tab of the settings dialog, each wizard page
// and the help.

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <cstdio>

#include "agent/config/settings_file.h"
#include "agent/engine/agent_log.h"
#include "agent/engine/status_line.h"
#include "agent/ui/env_dialog.h"
#include "agent/ui/help_window.h"
#include "agent/ui/lock_screen.h"
#include "agent/ui/main_window.h"
#include "agent/ui/unlock_passwd.h"
#include "agent/ui/wizard.h"
#include "agent/ui/working_window.h"

namespace {

using namespace mirelo;

AgentSettings SampleSettings() {
    AgentSettings s;
    s.POP3Server = QStringLiteral("pop.example.jp");
    s.SMTPServer = QStringLiteral("smtp.example.jp");
    s.FromMailAddr = QStringLiteral("agent@example.jp");
    s.MailAddr1 = QStringLiteral("taro@docomo.ne.jp");
    s.MailAddr2 = QStringLiteral("office@example.co.jp");
    s.SvLogin = QStringLiteral("agent");
    s.SvPasswd = QStringLiteral("secret");
    s.UnlockPassword = QStringLiteral("unlock");
    return s;
}

bool Save(QWidget& widget, const QString& folder, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Japanese text needs a CJK font; without one the pictures show boxes.
    if (QFontDatabase::families(QFontDatabase::Japanese).contains(QStringLiteral("Noto Sans CJK JP")))
        QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    else
        std::fprintf(stderr,
                     "warning: Noto Sans CJK JP not found (fonts-noto-cjk); Japanese text may not render\n");
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(MIRELO_SCREENSHOTS_DIR);
    QDir().mkpath(out);
    QTemporaryDir home;  // a program folder with the sample settings and nothing else
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    if (!SaveSettings(SettingsFilePath(home.path()), SampleSettings(), QStringLiteral("ALL")).ok) return 1;

    AgentSettings settings;
    const AgentLog log(home.path(), settings);
    bool ok = true;

    MainW mainWindow({settings, home.path(), log, {}});
    mainWindow.Load();
    mainWindow.show();
    ok &= Save(mainWindow, out, QStringLiteral("main-window.png"));

    // Working during a check; the engine never ticks here, the status lines are set by hand.
    Working working({settings, home.path(), log, {}});
    working.show();
    working.FinishPendingWork();
    working.ShowStatus(MakeStatusLine(status_code::kListing, {}, settings));
    working.ShowCounters(CountersText({2, 3, 1, 1}));
    ok &= Save(working, out, QStringLiteral("working-check.png"));
    working.ShowStatus(MakeStatusLine(status_code::kConnectFailed, {}, settings));
    ok &= Save(working, out, QStringLiteral("working-error.png"));

    {
        LockScreen lock(settings.LockTelop);
        lock.Start();
        lock.resize(1024, 640);
        working.ShowStatus(MakeStatusLine(status_code::kIdle, {}, settings));
        lock.Hold(&working);
        ok &= Save(lock, out, QStringLiteral("lock-screen.png"));
        lock.Release(&working);
    }

    UnlockPasswd prompt(settings, nullptr);
    prompt.show();
    ok &= Save(prompt, out, QStringLiteral("unlock-password.png"));
    prompt.hide();

    // The notice before the unlock prompt: its CR LF must show as one line break.
    QMessageBox notice(QMessageBox::Warning, QStringLiteral("ロック解除パスワードの確認"),
                       QStringLiteral("ロック解除用パスワードが設定されています。\r\n"
                                      "確認のためロック解除パスワードを入力してください。"));
    notice.show();
    ok &= Save(notice, out, QStringLiteral("unlock-notice.png"));
    notice.hide();

    // The settings dialog shows the unlock password box filled; the file is not written.
    settings.NeedUnlockPassword = true;
    EnvDialog dialog(settings, home.path(), log, {}, {});
    dialog.show();
    auto* tabs = dialog.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    for (int tab = 0; tab < 3; ++tab) {
        tabs->setCurrentIndex(tab);
        ok &= Save(dialog, out, QStringLiteral("env-dialog-tab%1.png").arg(tab));
    }
    dialog.hide();

    Wizard wizard(settings, home.path());
    wizard.show();
    for (int page = 0; page < 4; ++page) {
        if (page > 0) wizard.ShowPage(-2);
        ok &= Save(wizard, out, QStringLiteral("wizard-page%1.png").arg(page));
    }
    wizard.hide();

    ShowHelp(&mainWindow, QStringLiteral("環境設定－メール送信方法"));
    if (auto* help = mainWindow.findChild<QTextBrowser*>(QStringLiteral("HelpWindow"))) {
        ok &= Save(*help, out, QStringLiteral("help.png"));
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}
