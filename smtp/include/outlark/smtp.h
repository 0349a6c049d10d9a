#pragma once
// Outlark: the SMTP client component. Sends Japanese mail (ISO-2022-JP) step by step or in one call, and
// composes the message from header fields, a body and attachments.
//
// Texts are UTF-16 at this boundary and Shift_JIS (CP932) inside. Every method reports through `pVal`
// (a null pVal is ignored); nothing throws: an unexpected exception inside becomes 0 (or empty text) in
// pVal, and LastErrorText tells it. The numbers are the enums of mailcore/result_code.h, each with its
// text. Methods run on the caller's thread; with Sync = 0 the outcome of an accepted command arrives later
// as EndOfCommand, delivered by ProcessEvents on the host's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mailcore/result_code.h"

// Default visibility both inside the library and for its users, so a user built with hidden visibility
// still takes these classes (their type information too) from the library.
#define OUTLARK_API __attribute__((visibility("default")))

namespace outlark {

// The event interface: one event, the end of an asynchronous command or one-shot send.
class OUTLARK_API SmtpEvents {
  public:
    virtual ~SmtpEvents() = default;
    virtual void EndOfCommand(std::int32_t lStatus) = 0;
};

class OUTLARK_API Smtp {
  public:
    Smtp();
    ~Smtp();  // does what Destroy does
    Smtp(const Smtp&) = delete;
    Smtp& operator=(const Smtp&) = delete;

    // Connection point. A control "has a window" (runs Sync = 0 commands on a worker) once a sink is
    // advised or a wake-up hook is set. Advise gives a cookie for Unadvise (0 for a null sink); a sink
    // advised again keeps its cookie and still hears each event once.
    std::int32_t Advise(SmtpEvents* sink);
    void Unadvise(std::int32_t cookie);
    // Called on the worker thread after each outcome is queued; it must only arrange for ProcessEvents
    // to run on the host's thread.
    void SetWakeUp(std::function<void()> wakeUp);
    // Raises EndOfCommand for every outcome waiting, on the calling (host's) thread; returns how many.
    // A sink unadvised from inside a handler is not called again.
    std::int32_t ProcessEvents();

    // Properties.
    std::int32_t Port() const;
    void SetPort(std::int32_t value);
    std::int32_t Type() const;
    void SetType(std::int32_t value);
    std::int32_t Encode() const;
    void SetEncode(std::int32_t value);
    std::int32_t Header8bit() const;
    void SetHeader8bit(std::int32_t value);
    std::int32_t Width() const;
    void SetWidth(std::int32_t value);
    std::int32_t SendTimeout() const;  // seconds
    void SetSendTimeout(std::int32_t seconds);
    std::int32_t RecvTimeout() const;  // seconds
    void SetRecvTimeout(std::int32_t seconds);
    std::u16string LogFilename() const;
    void SetLogFilename(const std::u16string& value);
    std::int32_t Sync() const;
    void SetSync(std::int32_t value);
    std::int32_t Priority() const;
    void SetPriority(std::int32_t value);
    std::u16string ExecuteFilename() const;
    void SetExecuteFilename(const std::u16string& value);
    // What the one-shot send writes the mail in (like Type and Encode, DATA does not use it): 0 ISO-2022-JP
    // (initial); 1 UTF-8 for phones that prefer it: the texts go from UTF-16 to UTF-8 without loss, the
    // body as text/plain; charset=UTF-8 in quoted-printable (Encode 0) or base64 (Encode 1), header texts
    // as UTF-8 B words whatever Header8bit says, an attachment's name also as RFC 2231 filename*. Other
    // values are ignored.
    std::int32_t Charset() const;
    void SetCharset(std::int32_t value);
    // 0 (the default): plain text. 1: after EHLO, "STARTTLS" (refused as TLS failed when the server does
    // not offer it), then EHLO again over TLS. 2: TLS from the first byte (SMTPS, port 465). The server's
    // certificate must chain to a trusted CA and name the server as given; a failure leaves LastError -10
    // (TLS failed) or -11 (certificate rejected), SendMail's status -8, and nothing goes out in plain text.
    // Other values are ignored; it takes effect at the next connect or one-shot send. Step by step, 2 makes
    // ConnectByName connect over TLS; with 1 the EHLO method performs STARTTLS and EHLO again (its lines are
    // then those of the EHLO over TLS), and until it has, HELO, MAIL, RCPT and DATA fail without sending.
    std::int32_t Security() const;
    void SetSecurity(std::int32_t value);
    // A PEM file of the CA certificates to trust instead of the system's store, or the server's own
    // certificate. Empty (the default): the system's store.
    std::u16string TrustFile() const;
    void SetTrustFile(const std::u16string& value);
    // The one-shot send's log-in (SMTP AUTH, PLAIN or LOGIN as the server's EHLO offers). While either is
    // set the one-shot send greets with EHLO instead of HELO; a refused log-in gives status -7 and LastError
    // -12. Empty (the default): no log-in.
    std::u16string SmtpUser() const;
    void SetSmtpUser(const std::u16string& value);
    std::u16string SmtpPassword() const;
    void SetSmtpPassword(const std::u16string& value);
    // -5: a MakeData call got an empty text. -6: DATA found an attachment missing, unreadable or not a
    // regular file and sent nothing. -7: a one-shot send could not append its record to LogFilename (the log
    // could not be opened or locked within 60 s); the send's own status is unchanged. -10, -11, -12: see
    // Security and SmtpUser. Kept until the next.
    std::int32_t LastError() const;
    // Why the last connect, command or one-shot send failed, in one line: the cause (unknown host, refused,
    // timed out, closed, the server's negative reply with its text, ...), or the control's own refusal
    // (busy, bad argument, not connected, an internal error). Empty after a success, and while an
    // asynchronous command runs; an asynchronous one-shot send's cause is here once ProcessEvents has
    // delivered its EndOfCommand. Destroy keeps it.
    std::u16string LastErrorText() const;

    // Connection and teardown.
    void ConnectByName(const std::u16string& strServerName, std::int32_t* pVal);
    void ConnectByAddr(const std::u16string& strServerAddr, std::int32_t* pVal);
    void Destroy(std::int32_t* pVal);

    // Step-by-step commands: 1 success, 0 failure, -1 busy, -2 an argument holding a line break.
    void HELO(const std::u16string& strDomain, std::int32_t* pVal);
    void EHLO(const std::u16string& strDomain, std::int32_t* pVal);
    void MAIL(const std::u16string& strUser, std::int32_t* pVal);
    void RCPT(const std::u16string& strUser, std::int32_t* pVal);
    // -1 while an asynchronous command runs, before the message is changed.
    void DATA(const std::u16string& strBody, std::int32_t* pVal);
    void RSET(std::int32_t* pVal);
    void NOOP(std::int32_t* pVal);
    void VRFY(const std::u16string& strData, std::int32_t* pVal);
    void EXPN(const std::u16string& strData, std::int32_t* pVal);
    void HELP(const std::u16string& strData, std::int32_t* pVal);
    void QUIT(std::int32_t* pVal);

    // The lines of the last EHLO, VRFY, EXPN or HELP reply; GetData is 1-based. While an asynchronous
    // command runs they answer as if there were no engine.
    void GetCount(std::int32_t* pVal);
    void GetData(std::int32_t lIndex, std::u16string* pVal);

    // Message composition for DATA.
    void MakeDataFROM(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal);
    void MakeDataTO(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal);
    void MakeDataCC(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal);
    void MakeDataBC(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal);
    void MakeDataREPLYTO(const std::u16string& strReplyTo, std::int32_t* pVal);
    void MakeDataSUBJECT(const std::u16string& strSubject, std::int32_t* pVal);
    void MakeDataEXMESSAGE(const std::u16string& strExMessage, std::int32_t* pVal);
    void MakeDataFileName(const std::u16string& strFilename, std::int32_t* pVal);
    void ReleaseData(std::int32_t* pVal);

    // One-shot send: 1 sent (or started with Sync = 0; or handed to the external sender with Sync = 2),
    // 0 not started, -1 connect failed or a send still running, -2 HELO (or EHLO), -3 MAIL, -4 RCPT, -5 DATA
    // refused, -6 the attachment is missing, unreadable or not a regular file (checked before connecting;
    // nothing sent), -7 the log-in refused, -8 TLS failed, -99 server, recipient or sender empty or holding
    // a line break. The external sender (Sync = 2) knows no TLS or log-in.
    void SendMail(const std::u16string& strServerName, const std::u16string& strTo,
                  const std::u16string& strFrom, const std::u16string& strSubject,
                  const std::u16string& strBody, const std::u16string& strFilename, std::int32_t* pVal);
    void SendMailByAddr(const std::u16string& strServerAddr, const std::u16string& strTo,
                        const std::u16string& strFrom, const std::u16string& strSubject,
                        const std::u16string& strBody, const std::u16string& strFilename, std::int32_t* pVal);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace outlark
