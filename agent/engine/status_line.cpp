#include "agent/engine/status_line.h"

#include <algorithm>
#include <limits>

namespace mirelo {

StatusLine MakeStatusLine(std::int16_t code, const QString& text, const AgentSettings& settings) {
    using enum StatusColour;
    namespace sc = status_code;
    auto line = [code](QString shown, StatusColour colour) {
        return StatusLine{code, std::move(shown), colour, colour == Red};
    };
    switch (code) {
        case sc::kIdle:
            return line(QStringLiteral("アイドル中..."), Black);
        case sc::kAccessing:
            return line(settings.POP3Server + QStringLiteral("にアクセス中..."), Black);
        case sc::kListing:
            return line(settings.POP3Server + QStringLiteral("から未読一覧取得中..."), Black);
        case sc::kListRequest:
            return line(QStringLiteral("一覧取得要求を受け付けました。"), Blue);
        case sc::kBodyRequest:
            return line(QStringLiteral("本文取得要求を受け付けました。"), Blue);
        case sc::kTransferRequest:
            return line(QStringLiteral("本文転送要求を受け付けました。"), Blue);
        case sc::kDeleteRequest:
            return line(QStringLiteral("メール削除要求を受け付けました。"), Blue);
        case sc::kSending:
            return line(settings.SMTPServer + QStringLiteral("でメール送信中..."), Black);
        case sc::kOtherCopyChecking:
            return line(QStringLiteral("他のMireloでメールチェック中です。"), Red);
        case sc::kStatFailed:
            return line(QStringLiteral("POP3コマンドエラーです。"), Red);
        case sc::kAuthorizeFailed:
            return line(QStringLiteral("POP3サーバのユーザ認証エラーです。"), Red);
        case sc::kConnectFailed:
            return line(QStringLiteral("POP3サーバに接続できません。"), Red);
        case sc::kSendFailed:
            return line(QStringLiteral("メールが送信できませんでした。"), Red);
        case sc::kIllegalAddress:
            return line(QStringLiteral("メール送信先アドレスが不正です。"), Red);
        default:
            return line(text, code < 0 ? Red : Black);
    }
}

QString CountersText(const RequestCounts& c) {
    return QStringLiteral("一覧取得(%1件)　本文取得(%2件)　転送(%3件)　削除(%4件)")
        .arg(c[0])
        .arg(c[1])
        .arg(c[2])
        .arg(c[3]);
}

std::int16_t SaturatingAdd(std::int16_t value, int delta) {
    constexpr int kMax = std::numeric_limits<std::int16_t>::max();
    constexpr int kMin = std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(std::clamp(value + delta, kMin, kMax));
}

}  // namespace mirelo
