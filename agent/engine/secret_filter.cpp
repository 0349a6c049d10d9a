#include "agent/engine/secret_filter.h"

#include <QByteArray>
#include <QStringList>

#include "mailcore/wide_text.h"

namespace mirelo {
namespace {

// The components send Shift_JIS.
QByteArray Bytes(const QString& text) {
    return QByteArray::fromStdString(mailcore::WideToCp932(text.toStdU16String()));
}

QString Base64(const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); }

void AddForms(QStringList& forms, const QString& user, const QString& password) {
    if (password.isEmpty()) return;
    const QByteArray secret = Bytes(password);
    const QByteArray plain = QByteArray(1, '\0') + Bytes(user) + QByteArray(1, '\0') + secret;
    // Longest first, so a form that holds another is replaced whole.
    forms << Base64(plain) << Base64(secret) << password;
}

}  // namespace

QString WithoutSecrets(const QString& text, const AgentSettings& settings) {
    QStringList forms;
    AddForms(forms, settings.SMTPUser, settings.SMTPPasswd);
    AddForms(forms, settings.SvLogin, settings.SvPasswd);
    QString result = text;
    for (const QString& form : forms) result.replace(form, QStringLiteral("****"));
    return result;
}

}  // namespace mirelo
