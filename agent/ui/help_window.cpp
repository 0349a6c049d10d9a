#include "agent/ui/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <array>
#include <utility>

namespace mirelo {
namespace {

const QString kHelpFileName = QStringLiteral("mirelo-help.html");

QString AnchorOf(const QString& keyword) {
    static const std::array<std::pair<QString, QString>, 3> kTopics = {{
        {QStringLiteral("環境設定－基本動作設定"), QStringLiteral("kihon")},
        {QStringLiteral("環境設定－メール送信方法"), QStringLiteral("soushin")},
        {QStringLiteral("環境設定－メールサーバ"), QStringLiteral("server")},
    }};
    for (const auto& [word, anchor] : kTopics) {
        if (word == keyword) return anchor;
    }
    return {};
}

}  // namespace

QString HelpFilePath() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString places[] = {
        programDir + QStringLiteral("/help"),
        QDir(programDir).filePath(QStringLiteral(MIRELO_HELP_INSTALLED_RELATIVE)),
        QStringLiteral(MIRELO_HELP_SOURCE_DIR),
    };
    for (const QString& place : places) {
        const QFileInfo file(QDir(place).filePath(kHelpFileName));
        if (file.isFile()) return QDir::cleanPath(file.absoluteFilePath());
    }
    return {};
}

QUrl HelpUrl(const QString& keyword) {
    const QString path = HelpFilePath();
    if (path.isEmpty()) return {};
    QUrl url = QUrl::fromLocalFile(path);
    const QString anchor = AnchorOf(keyword);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    return url;
}

void ShowHelp(QWidget* parent, const QString& keyword) {
    const QString name = QStringLiteral("HelpWindow");
    QTextBrowser* browser =
        parent ? parent->findChild<QTextBrowser*>(name, Qt::FindDirectChildrenOnly) : nullptr;
    if (!browser) {
        browser = new QTextBrowser(parent);
        browser->setWindowFlags(Qt::Window);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        browser->setObjectName(name);
        browser->setWindowTitle(QStringLiteral("Mirelo ヘルプ"));
        browser->setOpenExternalLinks(true);
        browser->resize(640, 560);
    }
    const QUrl url = HelpUrl(keyword);
    if (url.isEmpty()) {
        browser->setPlainText(QStringLiteral("ヘルプファイル %1 が見つかりません。").arg(kHelpFileName));
    } else {
        browser->setSource(url);
        if (url.hasFragment()) browser->scrollToAnchor(url.fragment());
    }
    browser->show();
    browser->raise();
    browser->activateWindow();
}

}  // namespace mirelo
