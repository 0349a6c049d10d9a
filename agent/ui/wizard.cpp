#include "agent/ui/wizard.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "agent/config/settings_file.h"
#include "agent/ui/env_form.h"
#include "agent/ui/form_widgets.h"
#include "agent/ui/settings_problem_text.h"

namespace mirelo {

using form::Box;
using form::Check;
using form::Label;

namespace {

constexpr int kPageWidth = 440;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QLabel* Wrapped(QWidget* parent, const QString& text) {
    QLabel* label = Label(parent, text);
    label->setWordWrap(true);
    return label;
}

// A phone with a letter above it, drawn rather than shipped as a file.
QPixmap WizardPicture() {
    QPixmap picture(120, 200);
    picture.fill(QColor(0, 64, 128));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(210, 210, 220));
    p.drawRoundedRect(QRectF(35, 70, 50, 100), 8, 8);
    p.setBrush(QColor(150, 220, 150));
    p.drawRect(QRectF(42, 80, 36, 30));
    p.setBrush(Qt::darkGray);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) p.drawEllipse(QRectF(43 + col * 12, 118 + row * 14, 8, 8));
    }
    p.setPen(QPen(QColor(0, 64, 128), 2));
    p.setBrush(Qt::white);
    const QRectF letter(25, 22, 70, 40);
    p.drawRect(letter);
    p.drawLine(letter.topLeft(), letter.center());
    p.drawLine(letter.topRight(), letter.center());
    return picture;
}

QGroupBox* Page(QStackedWidget* pages, int index, const char* caption) {
    auto* frame = new QGroupBox(U(caption));
    frame->setObjectName(QStringLiteral("WizardFrame_%1").arg(index));
    frame->setFixedWidth(kPageWidth);
    pages->addWidget(frame);
    return frame;
}

}  // namespace

void ApplyPhoneType(int type, AgentSettings& s) {
    switch (type) {
        case 0:
            s.OneMailMaxChar = 250;
            s.AddSubject = false;
            break;
        case 1:
            s.OneMailMaxChar = 100;
            s.CommandBySubject = false;
            s.AddSubject = true;
            s.AddCc = false;
            break;
        case 2:
            s.OneMailMaxChar = 100;
            s.AddCc = false;
            break;
        default:
            s.OneMailMaxChar = 0;
            s.TrimLine = false;
            s.RemoveBlankLine = false;
            s.RemoveQuote = false;
            s.AddSubject = false;
            break;
    }
}

QString ExplainText(int type, const QString& listCommand, const QString& address) {
    const QString where = type == 1 ? QStringLiteral("携帯端末から、本文の１行目に「")
                                    : QStringLiteral("携帯端末から、タイトルに「");
    return where + listCommand + QStringLiteral("」と記述して、") + address +
           QStringLiteral("にメールすることで到着メール一覧を返信します。");
}

WizardSecurity ProposedSecurity(const AgentSettings& s) {
    WizardSecurity choice;
    const bool fresh = s.POP3Server.isEmpty();
    choice.tls = fresh || (s.POP3Security == 2 && s.SMTPSecurity == 2);
    choice.tlsAtStart = choice.tls;
    choice.smtpAuth = fresh || !s.SMTPUser.isEmpty();
    choice.smtpUser = s.SMTPUser;
    choice.smtpPasswd = s.SMTPPasswd;
    return choice;
}

void ApplySecurity(const WizardSecurity& choice, AgentSettings& s) {
    auto port = [&](std::int16_t& value, int oldMode, int newMode, int plain, int tls) {
        value = ParseSettingNumber(ProposedPort(oldMode, newMode, QString::number(value), plain, tls))
                    .value_or(value);
    };
    if (choice.tls) {
        port(s.POP3Port, s.POP3Security, 2, kPop3PlainPort, kPop3TlsPort);
        port(s.SMTPPort, s.SMTPSecurity, 2, kSmtpPlainPort, kSmtpTlsPort);
        s.POP3Security = s.SMTPSecurity = 2;
    } else if (choice.tlsAtStart) {
        port(s.POP3Port, 2, 0, kPop3PlainPort, kPop3TlsPort);
        port(s.SMTPPort, 2, 0, kSmtpPlainPort, kSmtpTlsPort);
        s.POP3Security = s.SMTPSecurity = 0;
    }
    if (choice.smtpAuth) {
        s.SMTPUser = choice.smtpUser.isEmpty() ? s.SvLogin : choice.smtpUser;
        s.SMTPPasswd = choice.smtpPasswd.isEmpty() ? s.SvPasswd : choice.smtpPasswd;
    } else {
        s.SMTPUser.clear();
        s.SMTPPasswd.clear();
    }
}

Wizard::Wizard(AgentSettings& settings, QString programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      programFolder_(std::move(programFolder)) {
    setObjectName(QStringLiteral("Wizard"));
    setWindowTitle(U("Mirelo簡単設定ﾀﾞｲｱﾛｸﾞ"));
    setModal(true);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("WizardFrame"));

    QGroupBox* page0 = Page(pages_, 0, "携帯端末の機種選択");
    auto* l0 = new QVBoxLayout(page0);
    l0->addWidget(Wrapped(page0, U("携帯端末の機種を選択してください。")));
    optMachine_ = new QButtonGroup(this);
    const char* machines[] = {"i-mode対応の携帯電話", "J-PHONE(SkyWalker)またはﾃﾞｼﾞﾀﾙﾂｰｶｰ(SkyWarp)の携帯電話",
                              "その他（受信文字数に制限のあるもの）", "その他（受信文字数に制限のないもの）"};
    for (int i = 0; i < 4; ++i) {
        auto* option = new QRadioButton(U(machines[i]), page0);
        option->setObjectName(QStringLiteral("optMachine_%1").arg(i));
        optMachine_->addButton(option, i);
        l0->addWidget(option);
    }
    l0->addStretch(1);

    QGroupBox* page1 = Page(pages_, 1, "携帯端末のアドレス入力");
    txtMailAddr1_ = Box(page1, "txtMailAddr1", {.imeOff = true, .rule = KeyRule::NoComma});
    txtMailAddr1_->installEventFilter(this);
    auto* l1 = new QVBoxLayout(page1);
    l1->addWidget(Wrapped(page1, U("携帯端末で受信するメールアドレスを指定してください。")));
    l1->addWidget(txtMailAddr1_);
    l1->addStretch(1);

    QGroupBox* page2 = Page(pages_, 2, "メール取得環境の設定");
    const form::BoxOptions noComma{.imeOff = true, .rule = KeyRule::NoComma};
    txtPOP3_ = Box(page2, "txtPOP3", noComma);
    txtSMTP_ = Box(page2, "txtSMTP", noComma);
    txtSvLogin_ = Box(page2, "txtSvLogin", {.imeOff = true});
    txtSvPasswd_ = Box(page2, "txtSvPasswd", {.password = true});
    txtFrom_ = Box(page2, "txtFrom", noComma);
    auto* grid = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {{"POP3ｻｰﾊﾞ", txtPOP3_},
                                                       {"SMTPｻｰﾊﾞ", txtSMTP_},
                                                       {"ｻｰﾊﾞのﾛｸﾞｲﾝ名", txtSvLogin_},
                                                       {"ﾊﾟｽﾜｰﾄﾞ", txtSvPasswd_},
                                                       {"ﾒｰﾙｱﾄﾞﾚｽ", txtFrom_}};
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(Label(page2, U(rows[row].first)), row, 0);
        grid->addWidget(rows[row].second, row, 1);
    }
    chkSecure_ = Check(page2, "chkSecure", U("暗号化通信(SSL/TLS)を使用する（POP3:995番、SMTP:465番）"));
    chkSmtpAuth_ = Check(page2, "chkSmtpAuth", U("送信時にもﾛｸﾞｲﾝする(SMTP認証)"));
    txtSmtpUser_ = Box(page2, "txtSmtpUser", {.imeOff = true});
    txtSmtpPasswd_ = Box(page2, "txtSmtpPasswd", {.password = true});
    auto* lblSmtpUser = Label(page2, U("送信時のﾛｸﾞｲﾝ名"), "lblSmtpUser");
    auto* lblSmtpPasswd = Label(page2, U("送信時のﾊﾟｽﾜｰﾄﾞ"), "lblSmtpPasswd");
    auto* auth = new QGridLayout;
    auth->setContentsMargins(16, 0, 0, 0);
    auth->addWidget(lblSmtpUser, 0, 0);
    auth->addWidget(txtSmtpUser_, 0, 1);
    auth->addWidget(lblSmtpPasswd, 1, 0);
    auth->addWidget(txtSmtpPasswd_, 1, 1);
    auto* note = Wrapped(page2, U("※空欄のときは、上記のﾛｸﾞｲﾝ名とﾊﾟｽﾜｰﾄﾞで認証します。"));
    auth->addWidget(note, 2, 0, 1, 2);
    connect(chkSmtpAuth_, &QCheckBox::toggled, this, [=, this](bool on) {
        for (QWidget* w :
             std::initializer_list<QWidget*>{lblSmtpUser, txtSmtpUser_, lblSmtpPasswd, txtSmtpPasswd_, note})
            w->setEnabled(on);
    });
    auto* l2 = new QVBoxLayout(page2);
    l2->addWidget(Wrapped(page2, U("メールを送受信するため、以下の情報を設定してください。")));
    l2->addLayout(grid);
    l2->addWidget(chkSecure_);
    l2->addWidget(chkSmtpAuth_);
    l2->addLayout(auth);
    l2->addStretch(1);

    QGroupBox* page3 = Page(pages_, 3, "設定完了");
    lblExplain1_ = Wrapped(page3, {});
    lblExplain1_->setObjectName(QStringLiteral("lblExplain1"));
    // Room for the explanation with a long address: the page keeps the height it had when built.
    lblExplain1_->setMinimumHeight(4 * lblExplain1_->fontMetrics().lineSpacing());
    lblExplain1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdCommit_ = new QPushButton(U("完了"), page3);
    cmdCommit_->setObjectName(QStringLiteral("cmdCommit"));
    QFont bold = cmdCommit_->font();
    bold.setBold(true);
    cmdCommit_->setFont(bold);
    connect(cmdCommit_, &QPushButton::clicked, this, &Wizard::Finish);
    auto* l3 = new QVBoxLayout(page3);
    l3->addWidget(Wrapped(page3, U("以上で、基本設定は完了です。")));
    l3->addWidget(lblExplain1_);
    l3->addWidget(Wrapped(page3, U("Mireloのメイン画面から、［転送待機状態にする］ボタンをクリックすると、"
                                   "携帯端末からの指示待ちとなります。")));
    l3->addWidget(Wrapped(page3, U("細かな設定内容は、環境設定で変更できます。")));
    l3->addStretch(1);
    l3->addWidget(cmdCommit_, 0, Qt::AlignRight);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(WizardPicture());
    picture->setAlignment(Qt::AlignTop);

    cmdPrev_ = new QPushButton(U("＜前へ"), this);
    cmdPrev_->setObjectName(QStringLiteral("cmdPrev"));
    cmdNext_ = new QPushButton(U("次へ＞"), this);
    cmdNext_->setObjectName(QStringLiteral("cmdNext"));
    cmdNext_->setDefault(true);
    auto* cancel = new QPushButton(U("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdPrev_, &QPushButton::clicked, this, [this] { ShowPage(-1); });
    connect(cmdNext_, &QPushButton::clicked, this, [this] { ShowPage(-2); });
    connect(cancel, &QPushButton::clicked, this, &Wizard::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(pages_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Label(this, U("※ここでの設定内容は、環境設定で後からも変更できます。")), 1);
    buttons->addWidget(cmdPrev_);
    buttons->addWidget(cmdNext_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    optMachine_->button(0)->setChecked(true);
    txtMailAddr1_->setText(settings_.MailAddr1);
    if (!settings_.MailAddr1.isEmpty()) txtMailAddr1_->setEnabled(false);
    txtPOP3_->setText(settings_.POP3Server);
    txtSMTP_->setText(settings_.SMTPServer);
    txtSvLogin_->setText(settings_.SvLogin);
    txtSvPasswd_->setText(settings_.SvPasswd);
    txtFrom_->setText(settings_.FromMailAddr);
    const WizardSecurity proposed = ProposedSecurity(settings_);
    tlsAtStart_ = proposed.tlsAtStart;
    chkSecure_->setChecked(proposed.tls);
    chkSmtpAuth_->setChecked(!proposed.smtpAuth);  // toggled once for sure, so the enabling follows
    chkSmtpAuth_->setChecked(proposed.smtpAuth);
    txtSmtpUser_->setText(proposed.smtpUser);
    txtSmtpPasswd_->setText(proposed.smtpPasswd);
}

int Wizard::PhoneType() const { return std::max(0, optMachine_->checkedId()); }

void Wizard::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowPage(0);
}

void Wizard::ShowPage(int request) {
    int target = request;
    if (request == -2) target = currentPage_ + 1;
    if (request == -1) target = currentPage_ - 1;
    if (target < 0 || target > 3) return;

    auto refuse = [this](const QString& text, QLineEdit* box) {
        QMessageBox::critical(this, QStringLiteral("エラー"), text);
        box->setFocus();
    };
    if (target == 3) {
        for (QLineEdit* box : {txtPOP3_, txtSMTP_, txtSvLogin_, txtSvPasswd_, txtFrom_}) {
            if (box->text().isEmpty()) return refuse(QStringLiteral("サーバ情報が未入力です。"), box);
        }
    }
    if (target == 2 && txtMailAddr1_->isEnabled() && txtMailAddr1_->text().isEmpty()) {
        return refuse(QStringLiteral("メールアドレスが未入力です。"), txtMailAddr1_);
    }

    pages_->setCurrentIndex(target);
    cmdPrev_->setEnabled(target != 0);
    cmdNext_->setEnabled(target != 3);
    switch (target) {
        case 0:
            optMachine_->button(0)->setFocus();
            break;
        case 1:
            if (txtMailAddr1_->isEnabled()) txtMailAddr1_->setFocus();
            break;
        case 2:
            txtPOP3_->setFocus();
            break;
        case 3:
            lblExplain1_->setText(ExplainText(PhoneType(), settings_.GetListCommand, txtFrom_->text()));
            cmdCommit_->setFocus();
            break;
    }
    currentPage_ = target;
}

// "@" in the phone address with an i-mode phone completes the carrier's domain at once.
bool Wizard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtMailAddr1_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->text() == u"@" && PhoneType() == 0) {
        txtMailAddr1_->setText(txtMailAddr1_->text() + u'@' + ImodeMailDomain());
        txtMailAddr1_->setCursorPosition(txtMailAddr1_->text().size());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Wizard::Finish() {
    AgentSettings next = settings_;
    ApplyPhoneType(PhoneType(), next);
    next.MailAddr1 = txtMailAddr1_->text();
    next.POP3Server = txtPOP3_->text();
    next.SMTPServer = txtSMTP_->text();
    next.SvLogin = txtSvLogin_->text();
    next.SvPasswd = txtSvPasswd_->text();
    next.FromMailAddr = txtFrom_->text();
    ApplySecurity({chkSecure_->isChecked(), tlsAtStart_, chkSmtpAuth_->isChecked(), txtSmtpUser_->text(),
                   txtSmtpPasswd_->text()},
                  next);
    // New accounts read today's mail; only files from before the setting keep the old reading.
    next.DecodeCharsets = true;
    if (const auto problem = SettingsRoundTripProblem(next)) {
        QMessageBox::critical(this, QStringLiteral("エラー"), RoundTripMessage(*problem));
        return;
    }
    settings_ = next;
    const SaveResult saved = SaveSettings(SettingsFilePath(programFolder_), settings_, QString());
    if (!saved.ok) {
        QMessageBox::critical(this, QStringLiteral("エラー"), SaveFailedMessage(saved.error));
        return;
    }
    accept();
}

void Wizard::reject() {
    const auto answer = QMessageBox::question(this, QStringLiteral("確認"),
                                              QStringLiteral("設定が終了していませんが、よろしいですか？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    done(QDialog::Rejected);
    const SaveResult saved = SaveSettings(SettingsFilePath(programFolder_), settings_, QString());
    if (!saved.ok) {
        QMessageBox::critical(parentWidget(), QStringLiteral("エラー"), SaveFailedMessage(saved.error));
    }
}

// The close box leaves without saving, so the wizard comes back at the next start.
void Wizard::closeEvent(QCloseEvent* event) {
    event->accept();
    done(QDialog::Rejected);
}

}  // namespace mirelo
