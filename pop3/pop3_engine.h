#pragma once
// The POP3 protocol engine: one method per command, the results of the last command, and their read-outs.
// Texts are Shift_JIS. Methods return the component's result codes.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mailcore/mail_engine.h"
#include "pop3/pop3_replies.h"

namespace inlark {

class Pop3Engine : public mailcore::MailEngine {
  public:
    // User name and password are limited to this many bytes.
    static constexpr std::size_t kMaxCredentialLength = 32;
    // For AUTH PLAIN: the longest name and password RFC 4616 allows.
    static constexpr std::size_t kMaxSaslCredentialLength = 255;

    using MailEngine::MailEngine;
    ~Pop3Engine() override;
    void ClearResults() override;

    // Takes effect at the next connect; only while not connected. With kStartTls the connect reads the
    // greeting, sends STLS and upgrades on "+OK" for the host as given to Connect; anything else fails it.
    void SetSecurity(const mailcore::ConnectionSecurity& security);
    // As MailEngine::Connect; the host is kept for the certificate check of an STLS upgrade.
    [[nodiscard]] std::int32_t Connect(const std::string& server, std::int32_t port, Resolution resolution);
    // What the last connect's TLS step left for LastError: -10 TLS failed (STLS refused included), -11 the
    // certificate was rejected, 0 nothing; reading it resets it. Safe while a worker runs.
    std::int32_t TakeTlsVerdict() { return tlsVerdict_.exchange(0, std::memory_order_acq_rel); }

    // USER, then PASS after a positive reply. -2 empty user name or a line break in either text, -3 user
    // name too long, -4 password too long.
    [[nodiscard]] std::int32_t Authorize(const std::string& user, const std::string& password);
    [[nodiscard]] std::int32_t User(const std::string& user);
    [[nodiscard]] std::int32_t Pass(const std::string& password);
    // SASL PLAIN with the initial response (RFC 5034); a "+" continuation gets the response again. -2 as
    // Authorize (a NUL counts as a line break), -3 / -4 beyond kMaxSaslCredentialLength. No failure record
    // holds the password or its base64.
    [[nodiscard]] std::int32_t AuthPlain(const std::string& user, const std::string& password);
    [[nodiscard]] std::int32_t Stat();
    // lNo 0: the whole listing; lNo > 0: one message; lNo < 0: -2.
    [[nodiscard]] std::int32_t List(std::int32_t lNo);
    [[nodiscard]] std::int32_t Last();
    [[nodiscard]] std::int32_t Uidl(std::int32_t lNo);
    // lLine 0 sends the message number alone.
    [[nodiscard]] std::int32_t Top(std::int32_t lNo, std::int32_t lLine);
    // Always sends the line count, 0 included ("TOP n 0": the header alone, in a form servers accept).
    [[nodiscard]] std::int32_t TopLines(std::int32_t lNo, std::int32_t lLine);
    [[nodiscard]] std::int32_t Retr(std::int32_t lNo);
    [[nodiscard]] std::int32_t Dele(std::int32_t lNo);
    [[nodiscard]] std::int32_t Noop();
    [[nodiscard]] std::int32_t Rset();
    [[nodiscard]] std::int32_t Quit();

    // Read-outs of the last command; only while no worker runs.
    std::int32_t Count() const { return count_; }
    // -2 index outside 1..count, -1 neither list present, else the message number.
    std::int32_t GetNo(std::int32_t lIndex) const;
    // Nothing (a null text) for an index outside 1..count; the size, the id without its line end, or empty.
    std::optional<std::string> GetData(std::int32_t lIndex) const;
    const std::string& RetrievedText() const { return retrieved_; }
    // Hands the retrieved text over without a copy; the results are then empty.
    std::string TakeRetrievedText() {
        count_ = 0;
        return std::move(retrieved_);
    }
    const std::vector<ListEntry>& Sizes() const { return sizes_; }
    const std::vector<UidEntry>& Ids() const { return ids_; }
    // Drops the failure record before a command, so what it holds afterwards belongs to that command.
    void ForgetFailure() { ClearFailure(); }

  protected:
    bool AfterGreeting() override;

  private:
    bool StartTls();
    bool PlainExchange(const std::string& user, const std::string& password);
    // Records the TLS layer's failure as the verdict; the kind decides -10 or -11.
    void NoteTlsFailure();
    [[nodiscard]] std::int32_t Simple(std::string line);
    // Sends `line`; true on "+OK". Otherwise the failure is recorded: the transport's, a NegativeReply
    // ("-ERR") or a MalformedReply (anything else), under the command's name.
    bool Positive(const std::string& line);
    // Records a positive reply whose content could not be read.
    bool Malformed(const std::string& line);
    bool ReadListing(Pop3Word word);
    bool Retrieve(const std::string& line);

    std::vector<ListEntry> sizes_;
    std::vector<UidEntry> ids_;
    std::string retrieved_;
    std::int32_t count_ = 0;
    mailcore::Security security_ = mailcore::Security::kNone;
    std::string host_;
    std::atomic<std::int32_t> tlsVerdict_{0};
};

}  // namespace inlark
