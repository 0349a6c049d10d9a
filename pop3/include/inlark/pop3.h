#pragma once
// libinlark: a POP3 client component.
//
// Every command method reports through its out-parameter pVal (never by an exception):
//    1  success; with Sync 0 and an event receiver attached: command started, EndOfCommand follows
//    0  failure: not connected, connect or send failed, no reply in time, negative or malformed reply
//   -1  busy: the previous asynchronous command is still running
//   -2  bad argument: message number out of range, absent server or user text, or a text holding CR, LF
//       or NUL (nothing is sent)
//   -3  user name longer than 32 bytes        -4  password longer than 32 bytes
//   -5  already connected
// These numbers, and those of LastError, are the enums of mailcore/result_code.h, each with its text.
// Texts cross this boundary as UTF-16; towards the server they are Shift_JIS (CP932). No method throws:
// an unexpected exception inside becomes 0 (or empty text) in pVal, and LastErrorText tells it.
//
// Threads: all methods belong to the host's thread. With Sync 0 a command runs on a worker thread and its
// outcome waits in a queue until the host calls ProcessEvents(), which calls EndOfCommand on every sink,
// on the host's thread. A wake-up callback tells the host (from the worker) that an outcome is waiting.
// Until a sink or a wake-up is attached, Sync 0 runs commands synchronously.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mailcore/result_code.h"

// Default visibility both inside the library and for its users, so a user built with hidden visibility
// still takes these classes (their type information too) from the library.
#define INLARK_API __attribute__((visibility("default")))

namespace inlark {

// The component's event interface.
class INLARK_API Pop3Events {
  public:
    virtual ~Pop3Events() = default;
    // lStatus: 1 the command succeeded, 0 it failed.
    virtual void EndOfCommand(std::int32_t lStatus) = 0;
};

class INLARK_API Pop3 {
  public:
    Pop3();
    // Ends the connection as Destroy does; a running worker is waited for.
    ~Pop3();
    Pop3(const Pop3&) = delete;
    Pop3& operator=(const Pop3&) = delete;

    // Properties. Time-outs are in seconds; they take effect at the next connect. The receive time-out
    // bounds the silence between two pieces of a reply; the send time-out each wait to send and the connect.
    std::int32_t Port() const;  // 110
    void SetPort(std::int32_t value);
    std::int32_t SendTimeout() const;  // 120
    void SetSendTimeout(std::int32_t value);
    std::int32_t RecvTimeout() const;  // 120
    void SetRecvTimeout(std::int32_t value);
    std::u16string LogFilename() const;  // "Inlark.log"; kept, no file is written
    void SetLogFilename(const std::u16string& value);
    std::int32_t Sync() const;  // 1; only 0 and 1 are accepted
    void SetSync(std::int32_t value);
    // The last error value: -5 after an index outside the current list, -10 or -11 after a connect whose
    // TLS step failed (see Security; with Sync 0 set before EndOfCommand is raised). Nothing clears it.
    std::int32_t LastError() const;
    // Why the last connect or command failed, in one line: the cause (unknown host, refused, timed out,
    // closed, the server's negative reply with its text, ...), or the control's own refusal (busy, bad
    // argument, not connected, an internal error). Empty after a success, and while an asynchronous
    // command runs. Destroy keeps it.
    std::u16string LastErrorText() const;
    // 0 (the default): messages are read the component's own way (Japanese mail: ISO-2022-JP and
    // Shift_JIS encoded words, multipart/mixed). 1: MakeData and MakeDataEx read mail by today's standards:
    // encoded words (B and Q) in any charset, RFC 2231 file names, RFC 5322 addresses and unfolding, bodies
    // by their declared charset, nested multiparts (the plain text of an alternative is the body, HTML-only
    // mail gives its text), message/rfc822 parts as attachments named by their Subject, uuencoded files
    // inside text. MakeDataEx's strMessage then crosses as UTF-8. Only 0 and 1 are accepted; it takes
    // effect at the next parse.
    std::int32_t DecodeCharsets() const;
    void SetDecodeCharsets(std::int32_t value);
    // 0 (the default): plain text. 1: the connect reads the greeting, asks "STLS" and goes on only over TLS.
    // 2: TLS from the first byte (POP3S, port 995). The server's certificate must chain to a trusted CA and
    // name the server as given to the connect; a failure leaves LastError -10 (TLS failed, STLS refused) or
    // -11 (certificate rejected) and sends nothing in plain text. Other values are ignored; it takes
    // effect at the next connect.
    std::int32_t Security() const;
    void SetSecurity(std::int32_t value);
    // A PEM file of the CA certificates to trust instead of the system's store, or the server's own
    // certificate. Empty (the default): the system's store.
    std::u16string TrustFile() const;
    void SetTrustFile(const std::u16string& value);
    // How Authorize logs in: 0 (the default) USER and PASS; 1 SASL PLAIN ("AUTH PLAIN", RFC 5034), where
    // user name and password may each hold up to 255 bytes (-3 / -4 beyond). Other values are ignored.
    std::int32_t AuthMethod() const;
    void SetAuthMethod(std::int32_t value);

    // Connection.
    void ConnectByName(const std::u16string& strServerName, std::int32_t* pVal);
    // A numeric address, which must have a reverse (address to name) entry.
    void ConnectByAddr(const std::u16string& strServerAddr, std::int32_t* pVal);
    // pVal 1 when an engine existed and was ended, else 0.
    void Destroy(std::int32_t* pVal);

    // Commands.
    void Authorize(const std::u16string& strUserName, const std::u16string& strPassword, std::int32_t* pVal);
    void USER(const std::u16string& strUserName, std::int32_t* pVal);
    void PASS(const std::u16string& strPassword, std::int32_t* pVal);
    void STAT(std::int32_t* pVal);
    void LIST(std::int32_t lNo, std::int32_t* pVal);  // lNo 0: the whole listing
    void LAST(std::int32_t* pVal);
    void UIDL(std::int32_t lNo, std::int32_t* pVal);                      // lNo 0: the whole listing
    void TOP_(std::int32_t lNo, std::int32_t lLine, std::int32_t* pVal);  // lLine 0: "TOP n" alone
    void RETR(std::int32_t lNo, std::int32_t* pVal);
    void DELE(std::int32_t lNo, std::int32_t* pVal);
    void NOOP(std::int32_t* pVal);
    void RSET(std::int32_t* pVal);
    void QUIT(std::int32_t* pVal);

    // Read-outs of the last command (never on the network). While an asynchronous command runs they
    // answer as if there were no engine.
    void GetCount(std::int32_t* pVal);
    void GetNo(std::int32_t lIndex, std::int32_t* pVal);
    // For an index outside 1..GetCount the text is null, given here as empty text, and LastError is -5.
    void GetData(std::int32_t lIndex, std::u16string* pVal);
    // After TOP_ or RETR the retrieved message; after any other command the last reply line.
    void GetMessage(std::u16string* pVal);
    // Releases the retrieved text, the lists and the parsed message. pVal is left as it is.
    void ReleaseData(std::int32_t* pVal);

    // The message record. MakeData parses the text of the last TOP_ or RETR (pVal 0 without one);
    // MakeDataEx parses strMessage, where empty text or "0" stands for the retrieved text. pVal 1 parsed,
    // 0 the text does not parse (no record then). Texts and counts are empty or 0 without a record.
    void MakeData(std::int32_t* pVal);
    void MakeDataEx(const std::u16string& strMessage, std::int32_t* pVal);
    void GetFromNickName(std::u16string* pVal);
    void GetFrom(std::u16string* pVal);
    void GetSubject(std::u16string* pVal);
    void GetReplyTo(std::u16string* pVal);
    void GetBody(std::u16string* pVal);
    void GetToCount(std::int32_t* pVal);
    void GetCcCount(std::int32_t* pVal);
    void GetBcCount(std::int32_t* pVal);
    void GetExMessageCount(std::int32_t* pVal);
    void GetFileNameCount(std::int32_t* pVal);
    // lIndex from 1; outside 1..count the text is empty and LastError is -5.
    void GetToNickName(std::int32_t lIndex, std::u16string* pVal);
    void GetTo(std::int32_t lIndex, std::u16string* pVal);
    void GetCcNickName(std::int32_t lIndex, std::u16string* pVal);
    void GetCc(std::int32_t lIndex, std::u16string* pVal);
    void GetBcNickName(std::int32_t lIndex, std::u16string* pVal);
    void GetBc(std::int32_t lIndex, std::u16string* pVal);
    void GetExMessage(std::int32_t lIndex, std::u16string* pVal);
    void GetFileName(std::int32_t lIndex, std::u16string* pVal);
    // The same texts without loss: the getters above give "?" for each character Shift_JIS (CP932) cannot
    // hold, these give every character (with DecodeCharsets 1; with 0 the texts are Shift_JIS already, and
    // both forms agree). Results, indexes and LastError as above.
    void GetFromNickNameW(std::u16string* pVal);
    void GetFromW(std::u16string* pVal);
    void GetSubjectW(std::u16string* pVal);
    void GetReplyToW(std::u16string* pVal);
    void GetBodyW(std::u16string* pVal);
    void GetToNickNameW(std::int32_t lIndex, std::u16string* pVal);
    void GetToW(std::int32_t lIndex, std::u16string* pVal);
    void GetCcNickNameW(std::int32_t lIndex, std::u16string* pVal);
    void GetCcW(std::int32_t lIndex, std::u16string* pVal);
    void GetBcNickNameW(std::int32_t lIndex, std::u16string* pVal);
    void GetBcW(std::int32_t lIndex, std::u16string* pVal);
    void GetExMessageW(std::int32_t lIndex, std::u16string* pVal);
    void GetFileNameW(std::int32_t lIndex, std::u16string* pVal);
    // Days since 30 December 1899, the time as a fraction, the sender's local time; 0 without a valid date.
    void GetDate(double* pVal);
    // Writes attachment lIndex, decoded, into the directory strBaseDirectory under the last component of
    // its name ("noname" when it has none), replacing a file of that name but never writing through a
    // symbolic link. pVal 1 written; 0 no record, lIndex below 1 (LastError -5), data that does not decode
    // or a file that cannot be written (nothing is left behind); -3 no attachments; -2 lIndex above the
    // count.
    void TransferToFile(std::int32_t lIndex, const std::u16string& strBaseDirectory, std::int32_t* pVal);
    // The bytes TransferToFile writes; 0 when it would write nothing.
    void GetFileSize(std::int32_t lIndex, std::int32_t* pVal);

    // Connection point. A control "has a window" (runs Sync 0 commands on a worker) once a sink is advised
    // or a wake-up hook is set. Advise gives a cookie for Unadvise (0 for a null sink); a sink advised
    // again keeps its cookie and still hears each event once.
    std::int32_t Advise(Pop3Events* sink);
    void Unadvise(std::int32_t cookie);
    // Called on the worker thread after each outcome is queued; it must only arrange for ProcessEvents
    // to run on the host's thread.
    void SetWakeUp(std::function<void()> wakeUp);
    // Raises EndOfCommand for every outcome waiting, on the calling (host's) thread; returns how many.
    // A sink unadvised from inside a handler is not called again.
    std::int32_t ProcessEvents();

  private:
    friend class Pop3Internals;
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace inlark
