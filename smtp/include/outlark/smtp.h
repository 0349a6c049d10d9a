#pragma once
// Outlark: the SMTP client component. Sends Japanese mail (ISO-2022-JP) step by step or in one call, and
// composes the message from header fields, a body and attachments.
//
// Texts are UTF-16 at this boundary and Shift_JIS (CP932) inside. Every method reports through `pVal`;
// nothing throws. Methods run on the caller's thread; with Sync = 0 the outcome of an accepted command
// arrives later as EndOfCommand, delivered by ProcessEvents on the host's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#if defined(OUTLARK_BUILDING)
#define OUTLARK_EXPORT __attribute__((visibility("default")))
#else
#define OUTLARK_EXPORT
#endif

namespace outlark {

// The event interface: one event, the end of an asynchronous command or one-shot send.
class SmtpEvents {
  public:
    virtual ~SmtpEvents() = default;
    virtual void EndOfCommand(std::int32_t lStatus) = 0;
};

class OUTLARK_EXPORT Smtp {
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
    // -5: a MakeData call got an empty text. -6: DATA found an attachment missing, unreadable or not a
    // regular file and sent nothing. -7: a one-shot send could not append its record to LogFilename (the log
    // could not be opened or locked within 60 s); the send's own status is unchanged. Kept until the next.
    std::int32_t LastError() const;

    // Connection and teardown.
    void ConnectByName(const std::u16string& strServerName, std::int32_t* pVal);
    void ConnectByAddr(const std::u16string& strServerAddr, std::int32_t* pVal);
    void Destroy(std::int32_t* pVal);

    // Step-by-step commands: 1 success, 0 failure, -1 busy, -2 an argument holding a line break.
    void HELO(const std::u16string& strDomain, std::int32_t* pVal);
    void EHLO(const std::u16string& strDomain, std::int32_t* pVal);
    void MAIL(const std::u16string& strUser, std::int32_t* pVal);
    void RCPT(const std::u16string& strUser, std::int32_t* pVal);
    void DATA(const std::u16string& strBody, std::int32_t* pVal);
    void RSET(std::int32_t* pVal);
    void NOOP(std::int32_t* pVal);
    void VRFY(const std::u16string& strData, std::int32_t* pVal);
    void EXPN(const std::u16string& strData, std::int32_t* pVal);
    void HELP(const std::u16string& strData, std::int32_t* pVal);
    void QUIT(std::int32_t* pVal);

    // The lines of the last EHLO, VRFY, EXPN or HELP reply; GetData is 1-based.
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
    // 0 not started, -1 connect failed or a send still running, -2 HELO, -3 MAIL, -4 RCPT, -5 DATA refused,
    // -6 the attachment is missing, unreadable or not a regular file (checked before connecting; nothing
    // sent), -99 server, recipient or sender empty or holding a line break.
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
