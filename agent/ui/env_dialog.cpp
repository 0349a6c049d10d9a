#include "agent/ui/env_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "agent/engine/agent_log.h"
#include "agent/ui/env_commit.h"
#include "agent/ui/form_widgets.h"
#include "agent/ui/unlock_passwd.h"

namespace mirelo {

using form::Box;
using form::Check;
using form::Label;
using form::Row;
using form::StretchRow;

namespace {

constexpr int kCommandWidth = 90;
constexpr int kNumberWidth = 56;
constexpr int kNoteIndent = 16;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QComboBox* Combo(QWidget* parent, const char* name, std::initializer_list<const char*> items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    for (const char* item : items) combo->addItem(U(item));
    return combo;
}

QGroupBox* Frame(QWidget* page, const char* name, const char* caption) {
    auto* frame = new QGroupBox(U(caption), page);
    frame->setObjectName(QString::fromLatin1(name));
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(frame);
    return frame;
}

}  // namespace

EnvDialog::EnvDialog(AgentSettings& settings, QString programFolder, const AgentLog& log, ShowHelp showHelp,
                     SetCaption setCaption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      programFolder_(std::move(programFolder)),
      log_(log),
      showHelp_(std::move(showHelp)),
      setCaption_(std::move(setCaption)) {
    setObjectName(QStringLiteral("EnvDialog"));
    setWindowTitle(QStringLiteral("Mirelo環境設定"));
    setModal(true);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    const char* captions[] = {"Mirelo基本動作", "メール送信方法", "メールサーバ"};
    for (const char* caption : captions) tabs_->addTab(new QWidget, U(caption));
    BuildBasicTab(tabs_->widget(0));
    BuildSendingTab(tabs_->widget(1));
    BuildServerTab(tabs_->widget(2));
    connect(tabs_, &QTabWidget::currentChanged, this, &EnvDialog::ApplyTabRule);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* help = new QPushButton(QStringLiteral("ヘルプ"), this);
    help->setObjectName(QStringLiteral("cmdHelp"));
    connect(ok, &QPushButton::clicked, this, &EnvDialog::Ok);
    connect(cancel, &QPushButton::clicked, this, &EnvDialog::reject);
    connect(help, &QPushButton::clicked, this, &EnvDialog::Help);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QCheckBox* check : {chkLock_, chkNeedPasswd_, chkRemoveQuote_, chkAutoInform_}) {
        connect(check, &QCheckBox::toggled, this, &EnvDialog::ApplyEnablingRules);
    }
    Fill(FormFromSettings(settings_));
    ApplyEnablingRules();
}

QString EnvDialog::HelpKeyword(int tab) {
    switch (tab) {
        case 0:
            return QStringLiteral("環境設定－基本動作設定");
        case 1:
            return QStringLiteral("環境設定－メール送信方法");
        default:
            return QStringLiteral("環境設定－メールサーバ");
    }
}

void EnvDialog::BuildBasicTab(QWidget* page) {
    QGroupBox* f = frames_[0] = Frame(page, "frameSettings", "Mirelo動作情報");
    const form::BoxOptions command{.width = kCommandWidth, .rule = KeyRule::NoBlankNoComma};
    const form::BoxOptions address{.imeOff = true, .rule = KeyRule::NoBlankNoComma};
    txtMailAddr1_ = Box(f, "txtMailAddr1", address);
    txtListRequest_ = Box(f, "txtListRequest", command);
    txtBodyRequest_ = Box(f, "txtBodyRequest", command);
    txtTransRequest_ = Box(f, "txtTransRequest", command);
    txtMailAddr2_ = Box(f, "txtMailAddr2", address);
    txtDelRequest_ = Box(f, "txtDelRequest", command);
    chkCmdByBody_ = Check(f, "chkCmdByBody", U("上記指示はﾒｰﾙ本体の１行目に記述して送る"));
    chkLock_ = Check(f, "chkLock", U("転送待機中に操作をﾛｯｸ"));
    lblLockTelop_ = Label(f, U("ﾛｯｸ中の表示文字列"), "lblLockTelop");
    txtLockTelop_ = Box(f, "txtLockTelop");
    chkNeedPasswd_ = Check(f, "chkNeedPasswd", U("転送待機の解除にﾊﾟｽﾜｰﾄﾞを要求"));
    lblUnlockPasswd_ = Label(f, U("ﾊﾟｽﾜｰﾄﾞ"), "lblUnlockPasswd");
    txtUnlockPasswd_ = Box(f, "txtUnlockPasswd", {.width = 160, .password = true});
    chkSaveLog_ = Check(f, "chkSaveLog", U("動作ﾛｸﾞを「Mirelo.log」ﾌｧｲﾙに保存する"));
    firstBoxes_[0] = txtMailAddr1_;

    auto* l = new QVBoxLayout(f);
    l->addLayout(StretchRow({Label(f, U("携帯端末のﾒｰﾙｱﾄﾞﾚｽ")), txtMailAddr1_}));
    l->addWidget(Label(f, U("上記ｱﾄﾞﾚｽからのﾒｰﾙで、ﾀｲﾄﾙ(Subject)が")));
    l->addLayout(Row({txtListRequest_, Label(f, U("であればﾒｰﾙの一覧を返信"))}, kNoteIndent));
    l->addLayout(Row({txtBodyRequest_, Label(f, U("であればﾒｰﾙの本文(Body)を返信"))}, kNoteIndent));
    auto* transfer = StretchRow({txtTransRequest_, Label(f, U("であれば")), txtMailAddr2_}, kNoteIndent);
    transfer->addWidget(Label(f, U("にﾒｰﾙ本文を転送")));
    l->addLayout(transfer);
    l->addLayout(Row({Label(f, U("※上記ｱﾄﾞﾚｽには、本文のみを分割しないで転送します。"))}, 2 * kNoteIndent));
    l->addLayout(Row({Label(f, U("（現段階では、添付ﾌｧｲﾙは転送しません）"))}, 2 * kNoteIndent));
    l->addLayout(Row({txtDelRequest_, Label(f, U("であればﾒｰﾙを削除"))}, kNoteIndent));
    l->addWidget(chkCmdByBody_);
    l->addLayout(Row({Label(f, U("※J-PHONEのSkyWalker、ﾃﾞｼﾞﾀﾙﾂｰｶｰのSkyWarpのように"))}, kNoteIndent));
    l->addLayout(Row({Label(f, U("ﾀｲﾄﾙ文が固定になる場合は、上記をﾁｪｯｸしてご利用ください。"))}, kNoteIndent));
    l->addWidget(chkLock_);
    l->addLayout(StretchRow({lblLockTelop_, txtLockTelop_}, kNoteIndent));
    l->addWidget(chkNeedPasswd_);
    l->addLayout(Row({lblUnlockPasswd_, txtUnlockPasswd_}, kNoteIndent));
    l->addWidget(chkSaveLog_);
}

void EnvDialog::BuildSendingTab(QWidget* page) {
    QGroupBox* f = frames_[1] = Frame(page, "frameExtSettings", "メール送信方法");
    auto number = [](int maxLength) {
        return form::BoxOptions{
            .width = kNumberWidth, .maxLength = maxLength, .imeOff = true, .rule = KeyRule::DigitsOnly};
    };
    txtOneMailMaxChar_ = Box(f, "txtOneMailMaxChar", number(3));
    txtSeparateMax_ = Box(f, "txtSeparateMax", number(2));
    txtOneMailMaxLine_ = Box(f, "txtOneMailMaxLine", number(2));
    chkTrimLine_ = Check(f, "chkTrimLine", U("ﾒｰﾙの各行の前後の空白を削除する(携帯端末への送信時のみ)"));
    chkRemoveBlankLine_ = Check(f, "chkRemoveBlankLine", U("ﾒｰﾙの空行を削除する(携帯端末への送信時のみ)"));
    chkRemoveQuote_ = Check(f, "chkRemoveQuote", U("上記ﾙｰﾙは引用文でも適用"));
    lblQuoteTop_ = Label(f, U("引用文の先頭"), "lblQuoteTop");
    txtQuoteTop_ = Box(f, "txtQuoteTop", {.width = 140, .maxLength = 20});
    chkAddTo_ = Check(f, "chkAddTo", U("ﾒｰﾙ本文送信時は本文にToの内容を含める"));
    chkAddCc_ = Check(f, "chkAddCc", U("ﾒｰﾙ本文送信時は本文にCcの内容を含める"));
    chkAddFrom_ = Check(f, "chkAddFrom", U("ﾒｰﾙ本文送信時は本文にFromの内容を含める"));
    chkAddSubject_ = Check(f, "chkAddSubject", U("ﾒｰﾙ本文送信時は本文にSubjectの内容を含める"));
    chkDecodeCharsets_ =
        Check(f, "chkDecodeCharsets", U("UTF-8など各国の文字ｺｰﾄﾞやHTMLのﾒｰﾙも読めるようにする"));
    txtTransHeader_ = Box(f, "txtTransHeader", {.width = 140});
    txtListSubject_ = Box(f, "txtListSubject", {.width = 180});
    txtMultiSubject_ = Box(f, "txtMultiSubject", {.width = 180});
    firstBoxes_[1] = txtOneMailMaxChar_;

    auto* l = new QVBoxLayout(f);
    l->addLayout(
        Row({txtOneMailMaxChar_, Label(f, U("文字以上のﾒｰﾙは分割して送信する（０指定時は分割なし）"))}));
    l->addLayout(
        Row({Label(f, U("※i-modeでは１ﾒｰﾙ最大250文字であり、それ以上はｶｯﾄされます。"))}, kNoteIndent));
    l->addLayout(
        Row({Label(f, U("※Mireloでは全角文字も半角文字も１文字としてカウントします。"))}, kNoteIndent));
    l->addLayout(Row({Label(f, U("ﾒｰﾙ分割最大数（１以上）")), txtSeparateMax_}));
    l->addLayout(
        Row({Label(f, U("※ﾒｰﾙ全文が送信できない場合でも、上記以上は分割送信しません。"))}, kNoteIndent));
    l->addLayout(Row({Label(f, U("分割時の１ﾒｰﾙ内の最大行数（１以上）")), txtOneMailMaxLine_}));
    l->addLayout(Row({Label(f, U("※文字数が少なくても最大行数以上は送信しません。"))}, kNoteIndent));
    l->addWidget(chkTrimLine_);
    l->addWidget(chkRemoveBlankLine_);
    l->addLayout(Row({chkRemoveQuote_, lblQuoteTop_, txtQuoteTop_}, kNoteIndent));
    l->addWidget(chkAddTo_);
    l->addWidget(chkAddCc_);
    l->addWidget(chkAddFrom_);
    l->addWidget(chkAddSubject_);
    l->addWidget(chkDecodeCharsets_);
    l->addLayout(Row({Label(f, U("ﾒｰﾙ転送時はSubjectの先頭に")), txtTransHeader_, Label(f, U("をつける"))}));
    l->addLayout(Row({Label(f, U("ﾒｰﾙ一覧送信時のﾀｲﾄﾙ")), txtListSubject_, Label(f, U("( %t：一覧数)"))}));
    auto* notes = new QVBoxLayout;
    notes->setSpacing(0);
    notes->addWidget(Label(f, U("( %s：本来のﾀｲﾄﾙ")));
    notes->addWidget(Label(f, U("  %n：分割番号)")));
    auto* multi = Row({Label(f, U("ﾒｰﾙ分割送信時のﾀｲﾄﾙ")), txtMultiSubject_});
    multi->insertLayout(multi->count() - 1, notes);
    l->addLayout(multi);
}

void EnvDialog::BuildServerTab(QWidget* page) {
    QGroupBox* f = frames_[2] = Frame(page, "frameMailServer", "メールサーバ情報");
    const form::BoxOptions server{.imeOff = true, .rule = KeyRule::NoBlankNoComma};
    const form::BoxOptions port{
        .width = kNumberWidth, .maxLength = 5, .imeOff = true, .rule = KeyRule::DigitsOnly};
    const form::BoxOptions minutes{
        .width = kNumberWidth, .maxLength = 4, .imeOff = true, .rule = KeyRule::DigitsOnly};
    txtPOP3_ = Box(f, "txtPOP3", server);
    txtPOP3Port_ = Box(f, "txtPOP3Port", port);
    txtSMTP_ = Box(f, "txtSMTP", server);
    txtSMTPPort_ = Box(f, "txtSMTPPort", port);
    txtSvLogin_ = Box(f, "txtSvLogin", {.imeOff = true});
    txtSvPasswd_ = Box(f, "txtSvPasswd", {.password = true});
    txtFrom_ = Box(f, "txtFrom", server);
    txtFromName_ = Box(f, "txtFromName");
    txtChkMailInt_ = Box(f, "txtChkMailInt", minutes);
    chkAutoInform_ = Check(f, "chkAutoInform", U("未読ﾒｰﾙがあれば自動で通知する"));
    lblAutoInformInt1_ = Label(f, U("自動通知間隔"), "lblAutoInformInt1");
    txtAutoInformInt_ = Box(f, "txtAutoInformInt", minutes);
    lblAutoInformInt2_ = Label(f, U("分"), "lblAutoInformInt2");
    cmbPop3Security_ = Combo(f, "cmbPop3Security", {"なし", "STLS", "SSL/TLS"});
    cmbSmtpSecurity_ = Combo(f, "cmbSmtpSecurity", {"なし", "STARTTLS", "SSL/TLS"});
    txtSmtpUser_ = Box(f, "txtSmtpUser", {.imeOff = true});
    txtSmtpPasswd_ = Box(f, "txtSmtpPasswd", {.password = true});
    txtCaFile_ = Box(f, "txtCaFile", {.imeOff = true});
    auto* cmdCaFile = new QPushButton(U("参照..."), f);
    cmdCaFile->setObjectName(QStringLiteral("cmdCaFile"));
    connect(cmdCaFile, &QPushButton::clicked, this, &EnvDialog::BrowseCaFile);
    connect(cmbPop3Security_, &QComboBox::currentIndexChanged, this, [this] {
        SecurityChanged(cmbPop3Security_, pop3Mode_, txtPOP3Port_, kPop3PlainPort, kPop3TlsPort);
    });
    connect(cmbSmtpSecurity_, &QComboBox::currentIndexChanged, this, [this] {
        SecurityChanged(cmbSmtpSecurity_, smtpMode_, txtSMTPPort_, kSmtpPlainPort, kSmtpTlsPort);
    });
    firstBoxes_[2] = txtPOP3_;

    auto* grid = new QGridLayout;
    auto pair = [&](int row, const char* label, QLineEdit* box, const char* portLabel, QLineEdit* portBox) {
        grid->addWidget(Label(f, U(label)), row, 0);
        grid->addWidget(box, row, 1);
        grid->addWidget(Label(f, U(portLabel)), row, 2);
        grid->addWidget(portBox, row, 3);
    };
    pair(0, "POP3ｻｰﾊﾞ", txtPOP3_, "POP3ｻｰﾊﾞPORT番号", txtPOP3Port_);
    pair(1, "SMTPｻｰﾊﾞ", txtSMTP_, "SMTPｻｰﾊﾞPORT番号", txtSMTPPort_);
    grid->addWidget(Label(f, U("ｻｰﾊﾞのﾛｸﾞｲﾝ名")), 2, 0);
    grid->addWidget(txtSvLogin_, 2, 1);
    grid->addWidget(Label(f, U("ﾊﾟｽﾜｰﾄﾞ")), 3, 0);
    grid->addWidget(txtSvPasswd_, 3, 1);
    grid->addWidget(Label(f, U("ﾒｰﾙｱﾄﾞﾚｽ")), 4, 0);
    grid->addWidget(txtFrom_, 4, 1);
    grid->addWidget(Label(f, U("送信者名")), 5, 0);
    grid->addWidget(txtFromName_, 5, 1);
    grid->setColumnMinimumWidth(1, 220);

    auto* secure = new QGridLayout;
    secure->addWidget(Label(f, U("POP3の暗号化")), 0, 0);
    secure->addWidget(cmbPop3Security_, 0, 1, Qt::AlignLeft);
    secure->addWidget(Label(f, U("SMTPの暗号化")), 0, 2);
    secure->addWidget(cmbSmtpSecurity_, 0, 3, Qt::AlignLeft);
    secure->addWidget(Label(f, U("送信時のﾛｸﾞｲﾝ名")), 1, 0);
    secure->addWidget(txtSmtpUser_, 1, 1);
    secure->addWidget(Label(f, U("ﾊﾟｽﾜｰﾄﾞ")), 1, 2);
    secure->addWidget(txtSmtpPasswd_, 1, 3);
    secure->addWidget(Label(f, U("CA証明書ﾌｧｲﾙ")), 2, 0);
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(txtCaFile_, 1);
    caRow->addWidget(cmdCaFile);
    secure->addLayout(caRow, 2, 1, 1, 3);

    auto* l = new QVBoxLayout(f);
    l->addLayout(grid);
    l->addSpacing(8);
    l->addLayout(secure);
    l->addLayout(Row({Label(f, U("※送信時のﾛｸﾞｲﾝ名が空欄のときは、送信時に認証(SMTP AUTH)を行いません。"))},
                     kNoteIndent));
    l->addLayout(Row({Label(f, U("※CA証明書ﾌｧｲﾙが空欄のときは、ｼｽﾃﾑの証明書で確認します。"))}, kNoteIndent));
    l->addSpacing(8);
    l->addLayout(Row({Label(f, U("ﾒｰﾙﾁｪｯｸ間隔")), txtChkMailInt_, Label(f, U("分おきにﾁｪｯｸ"))}));
    l->addWidget(chkAutoInform_);
    l->addLayout(Row({lblAutoInformInt1_, txtAutoInformInt_, lblAutoInformInt2_}, kNoteIndent));
    l->addStretch(1);
}

void EnvDialog::Fill(const EnvForm& f) {
    txtMailAddr1_->setText(f.txtMailAddr1);
    txtListRequest_->setText(f.txtListRequest);
    txtBodyRequest_->setText(f.txtBodyRequest);
    txtTransRequest_->setText(f.txtTransRequest);
    txtMailAddr2_->setText(f.txtMailAddr2);
    txtDelRequest_->setText(f.txtDelRequest);
    chkCmdByBody_->setChecked(f.chkCmdByBody);
    chkLock_->setChecked(f.chkLock);
    txtLockTelop_->setText(f.txtLockTelop);
    chkNeedPasswd_->setChecked(f.chkNeedPasswd);
    txtUnlockPasswd_->setText(f.txtUnlockPasswd);
    chkSaveLog_->setChecked(f.chkSaveLog);
    txtOneMailMaxChar_->setText(f.txtOneMailMaxChar);
    txtSeparateMax_->setText(f.txtSeparateMax);
    txtOneMailMaxLine_->setText(f.txtOneMailMaxLine);
    chkTrimLine_->setChecked(f.chkTrimLine);
    chkRemoveBlankLine_->setChecked(f.chkRemoveBlankLine);
    chkRemoveQuote_->setChecked(f.chkRemoveQuote);
    txtQuoteTop_->setText(f.txtQuoteTop);
    chkAddTo_->setChecked(f.chkAddTo);
    chkAddCc_->setChecked(f.chkAddCc);
    chkAddFrom_->setChecked(f.chkAddFrom);
    chkAddSubject_->setChecked(f.chkAddSubject);
    chkDecodeCharsets_->setChecked(f.chkDecodeCharsets);
    txtTransHeader_->setText(f.txtTransHeader);
    txtListSubject_->setText(f.txtListSubject);
    txtMultiSubject_->setText(f.txtMultiSubject);
    txtPOP3_->setText(f.txtPOP3);
    txtPOP3Port_->setText(f.txtPOP3Port);
    txtSMTP_->setText(f.txtSMTP);
    txtSMTPPort_->setText(f.txtSMTPPort);
    txtSvLogin_->setText(f.txtSvLogin);
    txtSvPasswd_->setText(f.txtSvPasswd);
    txtFrom_->setText(f.txtFrom);
    txtFromName_->setText(f.txtFromName);
    txtChkMailInt_->setText(f.txtChkMailInt);
    chkAutoInform_->setChecked(f.chkAutoInform);
    txtAutoInformInt_->setText(f.txtAutoInformInt);
    // The modes are set before the combos, so filling them proposes no port.
    pop3Mode_ = f.cmbPop3Security;
    smtpMode_ = f.cmbSmtpSecurity;
    cmbPop3Security_->setCurrentIndex(f.cmbPop3Security);
    cmbSmtpSecurity_->setCurrentIndex(f.cmbSmtpSecurity);
    txtSmtpUser_->setText(f.txtSmtpUser);
    txtSmtpPasswd_->setText(f.txtSmtpPasswd);
    txtCaFile_->setText(f.txtCaFile);
}

EnvForm EnvDialog::Read() const {
    EnvForm f;
    f.txtMailAddr1 = txtMailAddr1_->text();
    f.txtListRequest = txtListRequest_->text();
    f.txtBodyRequest = txtBodyRequest_->text();
    f.txtTransRequest = txtTransRequest_->text();
    f.txtMailAddr2 = txtMailAddr2_->text();
    f.txtDelRequest = txtDelRequest_->text();
    f.chkCmdByBody = chkCmdByBody_->isChecked();
    f.chkLock = chkLock_->isChecked();
    f.txtLockTelop = txtLockTelop_->text();
    f.chkNeedPasswd = chkNeedPasswd_->isChecked();
    f.txtUnlockPasswd = txtUnlockPasswd_->text();
    f.chkSaveLog = chkSaveLog_->isChecked();
    f.txtOneMailMaxChar = txtOneMailMaxChar_->text();
    f.txtSeparateMax = txtSeparateMax_->text();
    f.txtOneMailMaxLine = txtOneMailMaxLine_->text();
    f.chkTrimLine = chkTrimLine_->isChecked();
    f.chkRemoveBlankLine = chkRemoveBlankLine_->isChecked();
    f.chkRemoveQuote = chkRemoveQuote_->isChecked();
    f.txtQuoteTop = txtQuoteTop_->text();
    f.chkAddTo = chkAddTo_->isChecked();
    f.chkAddCc = chkAddCc_->isChecked();
    f.chkAddFrom = chkAddFrom_->isChecked();
    f.chkAddSubject = chkAddSubject_->isChecked();
    f.chkDecodeCharsets = chkDecodeCharsets_->isChecked();
    f.txtTransHeader = txtTransHeader_->text();
    f.txtListSubject = txtListSubject_->text();
    f.txtMultiSubject = txtMultiSubject_->text();
    f.txtPOP3 = txtPOP3_->text();
    f.txtPOP3Port = txtPOP3Port_->text();
    f.txtSMTP = txtSMTP_->text();
    f.txtSMTPPort = txtSMTPPort_->text();
    f.txtSvLogin = txtSvLogin_->text();
    f.txtSvPasswd = txtSvPasswd_->text();
    f.txtFrom = txtFrom_->text();
    f.txtFromName = txtFromName_->text();
    f.txtChkMailInt = txtChkMailInt_->text();
    f.chkAutoInform = chkAutoInform_->isChecked();
    f.txtAutoInformInt = txtAutoInformInt_->text();
    f.cmbPop3Security = std::max(0, cmbPop3Security_->currentIndex());
    f.cmbSmtpSecurity = std::max(0, cmbSmtpSecurity_->currentIndex());
    f.txtSmtpUser = txtSmtpUser_->text();
    f.txtSmtpPasswd = txtSmtpPasswd_->text();
    f.txtCaFile = txtCaFile_->text();
    return f;
}

void EnvDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Activate();
}

// On showing, and again when the server-password prompt gives the dialog back.
void EnvDialog::Activate() {
    tabs_->setCurrentIndex(0);
    ApplyTabRule();
}

void EnvDialog::ApplyTabRule() {
    const int current = tabs_->currentIndex();
    for (int tab = 0; tab < 3; ++tab) frames_[tab]->setEnabled(tab == current);
    if (current >= 0 && current < 3) firstBoxes_[current]->setFocus();
}

void EnvDialog::ApplyEnablingRules() {
    const bool lock = chkLock_->isChecked();
    lblLockTelop_->setEnabled(lock);
    txtLockTelop_->setEnabled(lock);
    const bool password = chkNeedPasswd_->isChecked();
    lblUnlockPasswd_->setEnabled(password);
    txtUnlockPasswd_->setEnabled(password);
    const bool quote = chkRemoveQuote_->isChecked();
    lblQuoteTop_->setEnabled(quote);
    txtQuoteTop_->setEnabled(quote);
    const bool inform = chkAutoInform_->isChecked();
    lblAutoInformInt1_->setEnabled(inform);
    txtAutoInformInt_->setEnabled(inform);
    lblAutoInformInt2_->setEnabled(inform);
}

void EnvDialog::FocusControl(const QString& objectName) {
    auto* control = findChild<QWidget*>(objectName);
    if (control == nullptr) return;
    for (int tab = 0; tab < tabs_->count(); ++tab) {
        if (tabs_->widget(tab)->isAncestorOf(control)) tabs_->setCurrentIndex(tab);
    }
    control->setFocus();
}

void EnvDialog::SecurityChanged(QComboBox* combo, int& mode, QLineEdit* portBox, int plainPort, int tlsPort) {
    const int next = std::max(0, combo->currentIndex());
    portBox->setText(ProposedPort(mode, next, portBox->text(), plainPort, tlsPort));
    mode = next;
}

void EnvDialog::BrowseCaFile() {
    const QString chosen = QFileDialog::getOpenFileName(this, U("CA証明書ﾌｧｲﾙの選択"), txtCaFile_->text(),
                                                        U("証明書 (*.pem *.crt *.cer);;すべてのﾌｧｲﾙ (*)"));
    if (!chosen.isEmpty()) txtCaFile_->setText(chosen);
}

void EnvDialog::Help() {
    if (showHelp_) showHelp_(HelpKeyword(tabs_->currentIndex()));
}

void EnvDialog::Ok() {
    EnvCommitHooks hooks;
    hooks.showMessage = [this](MessageIcon icon, const QString& title, const QString& text) {
        QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning, title,
                        text, QMessageBox::Ok, this);
        box.exec();
    };
    hooks.askServerPassword = [this] {
        AskUnlockPassword(settings_, this, QStringLiteral("ｻｰﾊﾞへのﾊﾟｽﾜｰﾄﾞを入力してください。"));
        Activate();
    };
    hooks.focusControl = [this](const QString& control) { FocusControl(control); };
    hooks.unload = [this] { accept(); };
    hooks.setCaption = [this] {
        if (setCaption_) setCaption_();
    };
    CommitEnvironment(Read(), settings_, programFolder_, log_, hooks);
}

}  // namespace mirelo
