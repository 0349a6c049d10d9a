#pragma once
// EnvDialog: the settings dialog. Three tabs edit every setting but SpecialCommandAccept; OK checks,
// confirms a new phone address with the server password, saves "Mirelo.ini" and logs the change.

#include <QDialog>
#include <functional>

#include "agent/ui/env_form.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace mirelo {

class AgentLog;

class EnvDialog : public QDialog {
  public:
    using ShowHelp = std::function<void(const QString& keyword)>;
    using SetCaption = std::function<void()>;

    // `settings` is the shared record, edited in place at OK; `programFolder` holds "Mirelo.ini".
    EnvDialog(AgentSettings& settings, QString programFolder, const AgentLog& log, ShowHelp showHelp,
              SetCaption setCaption, QWidget* parent = nullptr);

    // The help keyword of each tab.
    [[nodiscard]] static QString HelpKeyword(int tab);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildBasicTab(QWidget* page);
    void BuildSendingTab(QWidget* page);
    void BuildServerTab(QWidget* page);
    void Fill(const EnvForm& form);
    [[nodiscard]] EnvForm Read() const;

    void Activate();
    void ApplyTabRule();
    void ApplyEnablingRules();
    void FocusControl(const QString& objectName);
    void Help();
    void Ok();
    void SecurityChanged(QComboBox* combo, int& mode, QLineEdit* portBox, int plainPort, int tlsPort);
    void BrowseCaFile();

    AgentSettings& settings_;
    QString programFolder_;
    const AgentLog& log_;
    ShowHelp showHelp_;
    SetCaption setCaption_;

    QTabWidget* tabs_ = nullptr;
    QGroupBox* frames_[3] = {};
    QLineEdit* firstBoxes_[3] = {};

    // Tab 0
    QLineEdit* txtMailAddr1_ = nullptr;
    QLineEdit* txtListRequest_ = nullptr;
    QLineEdit* txtBodyRequest_ = nullptr;
    QLineEdit* txtTransRequest_ = nullptr;
    QLineEdit* txtMailAddr2_ = nullptr;
    QLineEdit* txtDelRequest_ = nullptr;
    QCheckBox* chkCmdByBody_ = nullptr;
    QCheckBox* chkLock_ = nullptr;
    QLabel* lblLockTelop_ = nullptr;
    QLineEdit* txtLockTelop_ = nullptr;
    QCheckBox* chkNeedPasswd_ = nullptr;
    QLabel* lblUnlockPasswd_ = nullptr;
    QLineEdit* txtUnlockPasswd_ = nullptr;
    QCheckBox* chkSaveLog_ = nullptr;
    // Tab 1
    QLineEdit* txtOneMailMaxChar_ = nullptr;
    QLineEdit* txtSeparateMax_ = nullptr;
    QLineEdit* txtOneMailMaxLine_ = nullptr;
    QCheckBox* chkTrimLine_ = nullptr;
    QCheckBox* chkRemoveBlankLine_ = nullptr;
    QCheckBox* chkRemoveQuote_ = nullptr;
    QLabel* lblQuoteTop_ = nullptr;
    QLineEdit* txtQuoteTop_ = nullptr;
    QCheckBox* chkAddTo_ = nullptr;
    QCheckBox* chkAddCc_ = nullptr;
    QCheckBox* chkAddFrom_ = nullptr;
    QCheckBox* chkAddSubject_ = nullptr;
    QCheckBox* chkDecodeCharsets_ = nullptr;
    QLineEdit* txtTransHeader_ = nullptr;
    QLineEdit* txtListSubject_ = nullptr;
    QLineEdit* txtMultiSubject_ = nullptr;
    // Tab 2
    QLineEdit* txtPOP3_ = nullptr;
    QLineEdit* txtPOP3Port_ = nullptr;
    QLineEdit* txtSMTP_ = nullptr;
    QLineEdit* txtSMTPPort_ = nullptr;
    QLineEdit* txtSvLogin_ = nullptr;
    QLineEdit* txtSvPasswd_ = nullptr;
    QLineEdit* txtFrom_ = nullptr;
    QLineEdit* txtFromName_ = nullptr;
    QLineEdit* txtChkMailInt_ = nullptr;
    QCheckBox* chkAutoInform_ = nullptr;
    QLabel* lblAutoInformInt1_ = nullptr;
    QLineEdit* txtAutoInformInt_ = nullptr;
    QLabel* lblAutoInformInt2_ = nullptr;
    QComboBox* cmbPop3Security_ = nullptr;
    QComboBox* cmbSmtpSecurity_ = nullptr;
    QLineEdit* txtSmtpUser_ = nullptr;
    QLineEdit* txtSmtpPasswd_ = nullptr;
    QLineEdit* txtCaFile_ = nullptr;
    // The modes the combo boxes held before their last change, for the port proposal.
    int pop3Mode_ = 0;
    int smtpMode_ = 0;
};

}  // namespace mirelo
