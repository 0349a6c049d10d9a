#pragma once
// Wizard: the first-run setup in four pages (phone type, phone address, mail server, done). Finishing
// derives the phone-dependent limits from the phone type and saves "Mirelo.ini".

#include <QDialog>

#include "agent/config/agent_settings.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace mirelo {

// The i-mode carrier's mail domain, appended when "@" is typed into the phone address.
inline QString ImodeMailDomain() { return QStringLiteral("docomo.ne.jp"); }

// Sets the fields that phone type `type` (0 to 3, the `optMachine` elements) decides.
void ApplyPhoneType(int type, AgentSettings& settings);

// The text of `lblExplain1` on the last page.
[[nodiscard]] QString ExplainText(int type, const QString& listCommand, const QString& address);

// The connection choices of the server page.
struct WizardSecurity {
    bool tls = true;         // chkSecure: TLS from the connect for both servers
    bool tlsAtStart = true;  // what chkSecure showed when the wizard opened
    bool smtpAuth = true;    // chkSmtpAuth: log in to the SMTP server
    QString smtpUser;        // empty: the POP3 login name
    QString smtpPasswd;      // empty: the POP3 password
};

// What the server page proposes: for a new account (no POP3 server yet) TLS and an SMTP log-in; for
// settings that exist, what they hold.
[[nodiscard]] WizardSecurity ProposedSecurity(const AgentSettings& settings);

// Takes the choices into `settings`, after SvLogin and SvPasswd. TLS sets both modes to 2 and moves a
// port at its plain default (110, 25) to the TLS one (995, 465); turning it off, when it was on, goes
// back to plain text and the plain ports; left off, the modes stay as they were. Without the log-in the
// SMTP user and password are cleared.
void ApplySecurity(const WizardSecurity& choice, AgentSettings& settings);

class Wizard : public QDialog {
  public:
    Wizard(AgentSettings& settings, QString programFolder, QWidget* parent = nullptr);

    // 0 the first page, -1 the page before the current one, -2 the page after it.
    void ShowPage(int request);
    [[nodiscard]] int CurrentPage() const { return currentPage_; }

    // Esc and cmdCancel: ask, then unload and save the settings as they were.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    [[nodiscard]] int PhoneType() const;
    void Finish();

    AgentSettings& settings_;
    QString programFolder_;
    int currentPage_ = 0;

    QStackedWidget* pages_ = nullptr;
    QButtonGroup* optMachine_ = nullptr;
    QLineEdit* txtMailAddr1_ = nullptr;
    QLineEdit* txtPOP3_ = nullptr;
    QLineEdit* txtSMTP_ = nullptr;
    QLineEdit* txtSvLogin_ = nullptr;
    QLineEdit* txtSvPasswd_ = nullptr;
    QLineEdit* txtFrom_ = nullptr;
    QCheckBox* chkSecure_ = nullptr;
    QCheckBox* chkSmtpAuth_ = nullptr;
    QLineEdit* txtSmtpUser_ = nullptr;
    QLineEdit* txtSmtpPasswd_ = nullptr;
    bool tlsAtStart_ = true;
    QLabel* lblExplain1_ = nullptr;
    QPushButton* cmdPrev_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
    QPushButton* cmdCommit_ = nullptr;
};

}  // namespace mirelo
