#pragma once
// The two mail components as the engine sees them: the calls a check makes, with their 32-bit results
// returned directly. The real ones wrap libinlark and liboutlark; tests put recording doubles here.

#include <QString>
#include <cstdint>

namespace mirelo {

class Pop3Component {
  public:
    virtual ~Pop3Component() = default;

    virtual void SetPort(std::int32_t port) = 0;
    virtual void SetSync(std::int32_t sync) = 0;
    virtual void SetSendTimeout(std::int32_t seconds) = 0;
    virtual void SetRecvTimeout(std::int32_t seconds) = 0;
    virtual void SetDecodeCharsets(std::int32_t on) = 0;
    // 0 plain text, 1 STLS after the greeting, 2 TLS from the connect; the next connect uses it.
    virtual void SetSecurity(std::int32_t mode) = 0;
    // The PEM file of the CAs to trust; empty: the system's store.
    virtual void SetTrustFile(const QString& path) = 0;
    [[nodiscard]] virtual std::int32_t LastError() = 0;
    // Why the last call failed, in words; empty when the component cannot tell.
    [[nodiscard]] virtual QString LastErrorText() = 0;

    virtual std::int32_t ConnectByName(const QString& server) = 0;
    virtual std::int32_t Authorize(const QString& user, const QString& password) = 0;
    virtual std::int32_t STAT() = 0;
    virtual std::int32_t LIST(std::int32_t number) = 0;
    virtual std::int32_t TOP_(std::int32_t number, std::int32_t lines) = 0;
    virtual std::int32_t RETR(std::int32_t number) = 0;
    virtual std::int32_t DELE(std::int32_t number) = 0;
    virtual std::int32_t QUIT() = 0;
    virtual std::int32_t Destroy() = 0;

    [[nodiscard]] virtual std::int32_t GetCount() = 0;
    [[nodiscard]] virtual std::int32_t GetNo(std::int32_t index) = 0;
    [[nodiscard]] virtual QString GetMessage() = 0;
    virtual void ReleaseData() = 0;

    virtual std::int32_t MakeData() = 0;
    virtual std::int32_t MakeDataEx(const QString& message) = 0;
    [[nodiscard]] virtual QString GetSubject() = 0;
    [[nodiscard]] virtual QString GetFrom() = 0;
    [[nodiscard]] virtual QString GetBody() = 0;
    [[nodiscard]] virtual std::int32_t GetFileNameCount() = 0;
    [[nodiscard]] virtual std::int32_t GetToCount() = 0;
    [[nodiscard]] virtual QString GetTo(std::int32_t index) = 0;
    [[nodiscard]] virtual std::int32_t GetCcCount() = 0;
    [[nodiscard]] virtual QString GetCc(std::int32_t index) = 0;
};

class SmtpComponent {
  public:
    virtual ~SmtpComponent() = default;

    virtual void SetPort(std::int32_t port) = 0;
    virtual void SetSync(std::int32_t sync) = 0;
    virtual void SetHeader8bit(std::int32_t value) = 0;
    virtual void SetWidth(std::int32_t width) = 0;
    virtual void SetSendTimeout(std::int32_t seconds) = 0;
    virtual void SetRecvTimeout(std::int32_t seconds) = 0;
    virtual void SetLogFilename(const QString& name) = 0;
    // 0 plain text, 1 STARTTLS after EHLO, 2 TLS from the connect; each SendMail uses it.
    virtual void SetSecurity(std::int32_t mode) = 0;
    // The PEM file of the CAs to trust; empty: the system's store.
    virtual void SetTrustFile(const QString& path) = 0;
    // SMTP AUTH for each SendMail; an empty user: no log-in.
    virtual void SetSmtpUser(const QString& user) = 0;
    virtual void SetSmtpPassword(const QString& password) = 0;
    [[nodiscard]] virtual std::int32_t LastError() = 0;
    // Why the last call failed, in words; empty when the component cannot tell.
    [[nodiscard]] virtual QString LastErrorText() = 0;

    // 1 sent; anything else is a failure.
    virtual std::int32_t SendMail(const QString& server, const QString& to, const QString& from,
                                  const QString& subject, const QString& body, const QString& fileName) = 0;
};

}  // namespace mirelo
