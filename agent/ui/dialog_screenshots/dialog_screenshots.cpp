// Writes env-dialog-tab{0,1,2}.png and wizard-page{0..3}.png of sample settings into the folder given.
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "agent/engine/agent_log.h"
#include "agent/ui/env_dialog.h"
#include "agent/ui/wizard.h"

namespace {

mirelo::AgentSettings Sample() {
    mirelo::AgentSettings s;
    s.POP3Server = QStringLiteral("pop.example.jp");
    s.SMTPServer = QStringLiteral("smtp.example.jp");
    s.FromMailAddr = QStringLiteral("agent@example.jp");
    s.FromName = QStringLiteral("Mirelo");
    s.MailAddr1 = QStringLiteral("phone@docomo.ne.jp");
    s.MailAddr2 = QStringLiteral("office@example.jp");
    s.SvLogin = QStringLiteral("agent");
    s.SvPasswd = QStringLiteral("secret");
    s.UnlockPassword = QStringLiteral("unlock");
    s.NeedUnlockPassword = true;
    return s;
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mirelo_dialog_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    // Japanese text needs a CJK font; without one the pictures show boxes.
    if (!QFontDatabase::families(QFontDatabase::Japanese).contains(QStringLiteral("Noto Sans CJK JP"))) {
        std::fprintf(stderr, "warning: Noto Sans CJK JP not found; Japanese text may not render\n");
    } else {
        QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    }

    QTemporaryDir home;  // nothing is saved, but the dialogs want a program folder
    mirelo::AgentSettings settings = Sample();
    const mirelo::AgentLog log(home.path(), settings);
    bool ok = true;

    mirelo::EnvDialog dialog(settings, home.path(), log, {}, {});
    dialog.show();
    auto* tabs = dialog.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    for (int tab = 0; tab < 3; ++tab) {
        tabs->setCurrentIndex(tab);
        ok = Save(dialog, out, QStringLiteral("env-dialog-tab%1.png").arg(tab)) && ok;
    }
    dialog.hide();

    mirelo::Wizard wizard(settings, home.path());
    wizard.show();
    for (int page = 0; page < 4; ++page) {
        if (page > 0) wizard.ShowPage(-2);
        ok = Save(wizard, out, QStringLiteral("wizard-page%1.png").arg(page)) && ok;
    }
    return ok ? 0 : 1;
}
