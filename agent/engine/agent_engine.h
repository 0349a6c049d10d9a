#pragma once
// Waiting mode: the one-minute tick, the mail check, the examination of every new message for commands
// from the phone, and the replies. One engine lives as long as waiting mode; its view shows the status.
// Everything runs on the caller's thread; the components are used synchronously.

#include <QString>
#include <cstdint>

#include "agent/config/agent_settings.h"
#include "agent/engine/agent_log.h"
#include "agent/engine/check_state.h"
#include "agent/engine/command_mail.h"
#include "agent/engine/engine_view.h"
#include "agent/engine/mail_components.h"
#include "agent/engine/status_line.h"

namespace mirelo {

// The check modes.
enum class CheckMode : int { Regular = 0, AutoInform = 1, AfterDelete = 2 };

// What one tick did.
enum class TickOutcome {
    Idle,         // no check was due
    Checked,      // a check ran and succeeded
    CheckFailed,  // the server could not be reached or refused the log-in; retried at the next tick
    OtherCopy,    // another copy of the agent is checking
    QuitCommand,  // the phone asked the agent to end; the interlock is already cleared
};

// The state of waiting mode. Counters are 16-bit and stop at 32767.
struct WaitingState {
    std::int16_t ElapsedMinutes = 0;
    std::int16_t AutoInformMinutes = 0;
    bool ForceCheck = false;
    std::int16_t ReportedCount = 0;
    std::int16_t NextNumber = 1;
    QString MailList;
    RequestCounts Counts{};
};

class AgentEngine {
  public:
    struct Parts {
        AgentSettings& settings;  // shared with the windows; the address change writes it
        QString programFolder;    // names this copy in the interlock; "Mirelo.ini" lives here
        const AgentLog& log;
        Pop3Component& pop3;
        SmtpComponent& smtp;
        EngineView& view;
    };
    explicit AgentEngine(Parts parts);

    // Waiting mode begins: counters and state cleared, components set up; no check yet.
    void Load();
    // The view became active: title and user line, and the log line.
    void Activate();
    // One minute has passed.
    TickOutcome Tick();
    // A check at once, whatever the minute counters say, followed by the check a deletion asks for.
    TickOutcome CheckNow();
    // One check; false when the server could not be reached or refused the log-in.
    bool CheckMail(CheckMode mode);
    // Waiting mode ends.
    void Unload();

    [[nodiscard]] const WaitingState& State() const { return state_; }
    [[nodiscard]] bool QuitRequested() const { return quitRequested_; }

  private:
    void SetStatus(std::int16_t code, const QString& text = {});
    void AddCounts(int list, int body, int transfer, int deletions);
    void ShowUser();
    void WriteLog(const QString& message) const;

    // The examination of one message and the requests it carries.
    void ExamineMail(std::int32_t number, CheckState& check);
    // False when the word is no command: the mail is an ordinary one.
    bool ActOnCommand(std::int32_t number, const CommandText& command, CheckState& check);
    void ChangeAddress(const QString& newAddress);
    void AppendMailList(const QString& line);
    void ClearMailList();

    // The replies.
    TickOutcome RunDueCheck();
    void Dispatch(const CheckState& check, CheckMode mode);
    void SendMailList(ListRequest kind, std::int16_t lastNumber, const QString& address, CheckMode mode,
                      bool toOther);
    void SendMailBodies(const QString& numbers, std::int16_t lastNumber, const QString& address,
                        bool transfer);
    void DeleteMails(const QString& numbers, std::int16_t lastNumber);
    void SendReply(const QString& address, const QString& subject, const QString& text, bool toOther);
    void SendOne(const QString& address, const QString& subject, const QString& body);

    Parts parts_;
    AgentSettings& settings_;
    WaitingState state_;
    bool quitRequested_ = false;
};

}  // namespace mirelo
