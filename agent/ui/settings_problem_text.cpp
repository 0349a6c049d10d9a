#include "agent/ui/settings_problem_text.h"

#include <string_view>

namespace mirelo {

namespace {

struct FieldText {
    std::u16string_view field;
    std::u16string_view label;
    std::u16string_view control;
};

constexpr FieldText kFields[] = {
    {u"POP3Server", u"POP3ｻｰﾊﾞ", u"txtPOP3"},
    {u"SMTPServer", u"SMTPｻｰﾊﾞ", u"txtSMTP"},
    {u"FromMailAddr", u"ﾒｰﾙｱﾄﾞﾚｽ", u"txtFrom"},
    {u"FromName", u"送信者名", u"txtFromName"},
    {u"MailAddr2", u"転送先ﾒｰﾙｱﾄﾞﾚｽ", u"txtMailAddr2"},
    {u"GetListCommand", u"ﾒｰﾙの一覧を返信する指示", u"txtListRequest"},
    {u"GetBodyCommand", u"ﾒｰﾙの本文(Body)を返信する指示", u"txtBodyRequest"},
    {u"TransBodyCommand", u"ﾒｰﾙ本文を転送する指示", u"txtTransRequest"},
    {u"DelMailCommand", u"ﾒｰﾙを削除する指示", u"txtDelRequest"},
    {u"LockTelop", u"ﾛｯｸ中の表示文字列", u"txtLockTelop"},
    {u"UnlockPassword", u"転送待機の解除のﾊﾟｽﾜｰﾄﾞ", u"txtUnlockPasswd"},
    {u"LogFileName", u"動作ﾛｸﾞのﾌｧｲﾙ名", u""},
    {u"QuoteTop", u"引用文の先頭", u"txtQuoteTop"},
    {u"TransHeader", u"ﾒｰﾙ転送時のSubjectの先頭", u"txtTransHeader"},
    {u"ListSubject", u"ﾒｰﾙ一覧送信時のﾀｲﾄﾙ", u"txtListSubject"},
    {u"MultiSendSubject", u"ﾒｰﾙ分割送信時のﾀｲﾄﾙ", u"txtMultiSubject"},
    {u"MailAddr1", u"携帯端末のﾒｰﾙｱﾄﾞﾚｽ", u"txtMailAddr1"},
    {u"SvLogin", u"ｻｰﾊﾞのﾛｸﾞｲﾝ名", u"txtSvLogin"},
    {u"SvPasswd", u"ｻｰﾊﾞのﾊﾟｽﾜｰﾄﾞ", u"txtSvPasswd"},
    {u"SMTPUser", u"送信時のﾛｸﾞｲﾝ名", u"txtSmtpUser"},
    {u"SMTPPasswd", u"送信時のﾊﾟｽﾜｰﾄﾞ", u"txtSmtpPasswd"},
    {u"CAFile", u"CA証明書ﾌｧｲﾙ", u"txtCaFile"},
};

const FieldText* Find(const QString& field) {
    for (const FieldText& f : kFields) {
        if (QStringView(f.field) == field) return &f;
    }
    return nullptr;
}

QString Reason(RoundTripProblemKind kind) {
    switch (kind) {
        case RoundTripProblemKind::NotCp932:
            return QStringLiteral("Shift_JISで表せない文字が含まれています。");
        case RoundTripProblemKind::LineBreak:
            return QStringLiteral("改行文字が含まれています。");
        case RoundTripProblemKind::OuterBlank:
            return QStringLiteral("先頭または末尾に空白があります。");
        case RoundTripProblemKind::TooLong:
            return QStringLiteral("文字数が多すぎます。");
        case RoundTripProblemKind::Backslash:
            return QStringLiteral("「\\」は使えません。");
        case RoundTripProblemKind::UnstorableScramble:
            return QStringLiteral("保存できない文字（{ | } ~ など）が含まれています。");
    }
    return {};
}

}  // namespace

QString FieldLabel(const QString& field) {
    const FieldText* f = Find(field);
    return f != nullptr ? QString::fromUtf16(f->label.data(), f->label.size()) : field;
}

QString FieldControl(const QString& field) {
    const FieldText* f = Find(field);
    return f != nullptr ? QString::fromUtf16(f->control.data(), f->control.size()) : QString();
}

QString RoundTripMessage(const RoundTripProblem& problem) {
    return QStringLiteral("「%1」の値は設定ファイルに保存できません。").arg(FieldLabel(problem.field)) +
           Reason(problem.kind) + QStringLiteral("\r\n(") + problem.message + QStringLiteral(")");
}

QString SaveFailedMessage(const QString& reason) {
    return QStringLiteral("設定を保存できませんでした。\r\n") + reason;
}

}  // namespace mirelo
