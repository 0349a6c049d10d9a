#include "agent/engine/library_components.h"

#include <inlark/pop3.h>
#include <outlark/smtp.h>

namespace mirelo {
namespace {

std::u16string Wide(const QString& text) { return text.toStdU16String(); }

class LibraryPop3 final : public Pop3Component {
  public:
    void SetPort(std::int32_t port) override { pop3_.SetPort(port); }
    void SetSync(std::int32_t sync) override { pop3_.SetSync(sync); }
    void SetSendTimeout(std::int32_t seconds) override { pop3_.SetSendTimeout(seconds); }
    void SetRecvTimeout(std::int32_t seconds) override { pop3_.SetRecvTimeout(seconds); }
    void SetDecodeCharsets(std::int32_t on) override { pop3_.SetDecodeCharsets(on); }
    void SetSecurity(std::int32_t mode) override { pop3_.SetSecurity(mode); }
    void SetTrustFile(const QString& path) override { pop3_.SetTrustFile(Wide(path)); }
    std::int32_t LastError() override { return pop3_.LastError(); }
    QString LastErrorText() override { return QString::fromStdU16String(pop3_.LastErrorText()); }

    std::int32_t ConnectByName(const QString& server) override {
        return Call([&](std::int32_t* r) { pop3_.ConnectByName(Wide(server), r); });
    }
    std::int32_t Authorize(const QString& user, const QString& password) override {
        return Call([&](std::int32_t* r) { pop3_.Authorize(Wide(user), Wide(password), r); });
    }
    std::int32_t STAT() override {
        return Call([&](std::int32_t* r) { pop3_.STAT(r); });
    }
    std::int32_t LIST(std::int32_t n) override {
        return Call([&](std::int32_t* r) { pop3_.LIST(n, r); });
    }
    std::int32_t TOP_(std::int32_t n, std::int32_t lines) override {
        return Call([&](std::int32_t* r) { pop3_.TOP_(n, lines, r); });
    }
    std::int32_t RETR(std::int32_t n) override {
        return Call([&](std::int32_t* r) { pop3_.RETR(n, r); });
    }
    std::int32_t DELE(std::int32_t n) override {
        return Call([&](std::int32_t* r) { pop3_.DELE(n, r); });
    }
    std::int32_t QUIT() override {
        return Call([&](std::int32_t* r) { pop3_.QUIT(r); });
    }
    std::int32_t Destroy() override {
        return Call([&](std::int32_t* r) { pop3_.Destroy(r); });
    }

    std::int32_t GetCount() override {
        return Call([&](std::int32_t* r) { pop3_.GetCount(r); });
    }
    std::int32_t GetNo(std::int32_t i) override {
        return Call([&](std::int32_t* r) { pop3_.GetNo(i, r); });
    }
    QString GetMessage() override {
        return Text([&](std::u16string* t) { pop3_.GetMessage(t); });
    }
    void ReleaseData() override {
        std::int32_t ignored = 0;
        pop3_.ReleaseData(&ignored);
    }

    std::int32_t MakeData() override {
        return Call([&](std::int32_t* r) { pop3_.MakeData(r); });
    }
    std::int32_t MakeDataEx(const QString& message) override {
        return Call([&](std::int32_t* r) { pop3_.MakeDataEx(Wide(message), r); });
    }
    QString GetSubject() override {
        return Text([&](std::u16string* t) { pop3_.GetSubject(t); });
    }
    QString GetFrom() override {
        return Text([&](std::u16string* t) { pop3_.GetFrom(t); });
    }
    QString GetBody() override {
        return Text([&](std::u16string* t) { pop3_.GetBody(t); });
    }
    std::int32_t GetFileNameCount() override {
        return Call([&](std::int32_t* r) { pop3_.GetFileNameCount(r); });
    }
    std::int32_t GetToCount() override {
        return Call([&](std::int32_t* r) { pop3_.GetToCount(r); });
    }
    QString GetTo(std::int32_t i) override {
        return Text([&](std::u16string* t) { pop3_.GetTo(i, t); });
    }
    std::int32_t GetCcCount() override {
        return Call([&](std::int32_t* r) { pop3_.GetCcCount(r); });
    }
    QString GetCc(std::int32_t i) override {
        return Text([&](std::u16string* t) { pop3_.GetCc(i, t); });
    }

  private:
    // A method that leaves pVal unwritten reports failure.
    template <typename F>
    static std::int32_t Call(F&& call) {
        std::int32_t result = 0;
        call(&result);
        return result;
    }
    template <typename F>
    static QString Text(F&& call) {
        std::u16string text;
        call(&text);
        return QString::fromStdU16String(text);
    }

    inlark::Pop3 pop3_;
};

class LibrarySmtp final : public SmtpComponent {
  public:
    void SetPort(std::int32_t port) override { smtp_.SetPort(port); }
    void SetSync(std::int32_t sync) override { smtp_.SetSync(sync); }
    void SetHeader8bit(std::int32_t value) override { smtp_.SetHeader8bit(value); }
    void SetWidth(std::int32_t width) override { smtp_.SetWidth(width); }
    void SetSendTimeout(std::int32_t seconds) override { smtp_.SetSendTimeout(seconds); }
    void SetRecvTimeout(std::int32_t seconds) override { smtp_.SetRecvTimeout(seconds); }
    void SetLogFilename(const QString& name) override { smtp_.SetLogFilename(Wide(name)); }
    void SetSecurity(std::int32_t mode) override { smtp_.SetSecurity(mode); }
    void SetTrustFile(const QString& path) override { smtp_.SetTrustFile(Wide(path)); }
    void SetSmtpUser(const QString& user) override { smtp_.SetSmtpUser(Wide(user)); }
    void SetSmtpPassword(const QString& password) override { smtp_.SetSmtpPassword(Wide(password)); }
    std::int32_t LastError() override { return smtp_.LastError(); }
    QString LastErrorText() override { return QString::fromStdU16String(smtp_.LastErrorText()); }

    std::int32_t SendMail(const QString& server, const QString& to, const QString& from,
                          const QString& subject, const QString& body, const QString& fileName) override {
        std::int32_t result = 0;
        smtp_.SendMail(Wide(server), Wide(to), Wide(from), Wide(subject), Wide(body), Wide(fileName),
                       &result);
        return result;
    }

  private:
    outlark::Smtp smtp_;
};

}  // namespace

std::unique_ptr<Pop3Component> MakeLibraryPop3() { return std::make_unique<LibraryPop3>(); }
std::unique_ptr<SmtpComponent> MakeLibrarySmtp() { return std::make_unique<LibrarySmtp>(); }

}  // namespace mirelo
