#include "agent/engine/agent_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>

#include "agent/config/settings_file.h"
#include "agent/engine/during_check.h"
#include "engine_doubles.h"

namespace mirelo {
namespace {

using testing::ElementsAre;
using testing::IsSupersetOf;
using namespace testing_support;

int Connects(const FakePop3& pop3) {
    return static_cast<int>(pop3.calls.filter(QStringLiteral("ConnectByName")).size());
}

QStringList Subjects(const FakeSmtp& smtp) {
    QStringList subjects;
    for (const auto& m : smtp.sent) subjects.append(m.subject);
    return subjects;
}

class Engine : public testing::Test {
  protected:
    void SetUp() override { WriteDuringCheck(QString()); }
    EngineRig rig;
};

TEST_F(Engine, LoadSetsUpComponentsAndShowsIdle) {
    rig.Engine();
    EXPECT_EQ(rig.pop3.properties, (std::map<QString, std::int32_t>{{QStringLiteral("DecodeCharsets"), 0},
                                                                    {QStringLiteral("Port"), 11110},
                                                                    {QStringLiteral("RecvTimeout"), 60},
                                                                    {QStringLiteral("Security"), 0},
                                                                    {QStringLiteral("SendTimeout"), 60},
                                                                    {QStringLiteral("Sync"), 1}}));
    EXPECT_EQ(rig.smtp.properties[QStringLiteral("Header8bit")], QStringLiteral("1"));
    EXPECT_EQ(rig.smtp.properties[QStringLiteral("Width")], QStringLiteral("80"));
    EXPECT_EQ(rig.smtp.properties[QStringLiteral("LogFilename")], QString());
    EXPECT_EQ(rig.pop3.trustFile, QString());
    EXPECT_EQ(rig.smtp.properties[QStringLiteral("Security")], QStringLiteral("0"));
    EXPECT_EQ(rig.smtp.properties[QStringLiteral("SmtpUser")], QString());
    EXPECT_EQ(rig.view.statuses.back(),
              (StatusLine{0, QStringLiteral("アイドル中..."), StatusColour::Black, false}));
    EXPECT_EQ(rig.view.counters, QStringLiteral("一覧取得(0件)　本文取得(0件)　転送(0件)　削除(0件)"));
    EXPECT_EQ(rig.view.title, QStringLiteral("Mirelo - phone@mirelo.test"));
    EXPECT_EQ(rig.LogLines(), QStringList{QStringLiteral("<-- Change Waiting Mode -->")});
    EXPECT_EQ(Connects(rig.pop3), 0);  // the first check waits for the interval
}

struct SecurityRow {
    const char* name;
    std::int16_t pop3Security;
    std::int16_t smtpSecurity;
    const char* user;
    const char* password;
    const char* caFile;
};
void PrintTo(const SecurityRow& row, std::ostream* os) { *os << row.name; }

const SecurityRow kSecurityRows[] = {
    {"TlsBothWithAuth", 2, 2, "agent@mirelo.test", "smtp-pw", "/etc/mirelo/ca.pem"},
    {"StlsAndStartTls", 1, 1, "agent", "p", ""},
    {"PlainPop3TlsSmtpNoAuth", 0, 2, "", "", "/tmp/ca.pem"},
    {"RelativeCaFile", 2, 1, "agent", "p", "tls/ca.pem"},
};

class SecurityTable : public Engine, public testing::WithParamInterface<SecurityRow> {};

TEST_P(SecurityTable, SecuritySettingsReachBothComponents) {
    const SecurityRow& row = GetParam();
    rig.settings.POP3Security = row.pop3Security;
    rig.settings.SMTPSecurity = row.smtpSecurity;
    rig.settings.SMTPUser = QString::fromUtf8(row.user);
    rig.settings.SMTPPasswd = QString::fromUtf8(row.password);
    rig.settings.CAFile = QString::fromUtf8(row.caFile);
    rig.Engine();
    // A relative file is found in the program folder.
    const QString caFile = QString::fromUtf8(row.caFile).startsWith(u"tls/")
                               ? rig.Folder() + QStringLiteral("/") + QString::fromUtf8(row.caFile)
                               : QString::fromUtf8(row.caFile);
    EXPECT_EQ(rig.pop3.properties[QStringLiteral("Security")], row.pop3Security);
    EXPECT_EQ(rig.pop3.trustFile, caFile);
    EXPECT_EQ(rig.smtp.properties,
              (std::map<QString, QString>{{QStringLiteral("Header8bit"), QStringLiteral("1")},
                                          {QStringLiteral("LogFilename"), QString()},
                                          {QStringLiteral("Port"), QStringLiteral("10025")},
                                          {QStringLiteral("RecvTimeout"), QStringLiteral("60")},
                                          {QStringLiteral("Security"), QString::number(row.smtpSecurity)},
                                          {QStringLiteral("SendTimeout"), QStringLiteral("60")},
                                          {QStringLiteral("SmtpPassword"), QString::fromUtf8(row.password)},
                                          {QStringLiteral("SmtpUser"), QString::fromUtf8(row.user)},
                                          {QStringLiteral("Sync"), QStringLiteral("1")},
                                          {QStringLiteral("TrustFile"), caFile},
                                          {QStringLiteral("Width"), QStringLiteral("80")}}));
}

INSTANTIATE_TEST_SUITE_P(Engine, SecurityTable, testing::ValuesIn(kSecurityRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, RegularChecksEveryIntervalTicks) {
    rig.settings.CheckInterval = 5;
    std::vector<TickOutcome> outcomes;
    for (int i = 0; i < 10; ++i) outcomes.push_back(rig.Engine().Tick());
    using enum TickOutcome;
    EXPECT_EQ(outcomes, (std::vector{Idle, Idle, Idle, Idle, Checked, Idle, Idle, Idle, Idle, Checked}));
    EXPECT_EQ(ReadDuringCheck(), QString());
}

TEST_F(Engine, AutoInformCheckReplacesTheRegularOne) {
    rig.settings.CheckInterval = 100;
    rig.settings.AutoInform = true;
    rig.settings.AutoInformInterval = 3;
    rig.FromOther(QStringLiteral("お知らせ"));
    for (int i = 0; i < 3; ++i) rig.Engine().Tick();
    EXPECT_EQ(Connects(rig.pop3), 1);
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_EQ(rig.smtp.sent[0].subject, QStringLiteral("Mirelo 1lists"));
    // Nothing new at the next automatic list: logged, not sent.
    for (int i = 0; i < 3; ++i) rig.Engine().Tick();
    EXPECT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_THAT(
        rig.LogLines().mid(rig.LogLines().size() - 3),
        ElementsAre(QStringLiteral("+Latest list send start."), QStringLiteral("  AutoInform listing."),
                    QStringLiteral("-Mail list send end(0 lists).")));
}

TEST_F(Engine, OtherCopyBlocksEveryTickUntilCleared) {
    WriteDuringCheck(QStringLiteral("/opt/other-mirelo"));
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::OtherCopy);
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::OtherCopy);
    EXPECT_EQ(rig.view.statuses.back(), (StatusLine{-2, QStringLiteral("他のMireloでメールチェック中です。"),
                                                    StatusColour::Red, true}));
    EXPECT_EQ(Connects(rig.pop3), 0);
    EXPECT_EQ(rig.Engine().State().ElapsedMinutes, 2);
    WriteDuringCheck(rig.Folder());  // our own folder does not block
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::Checked);
    EXPECT_EQ(ReadDuringCheck(), QString());
}

TEST_F(Engine, FailedConnectionIsRetriedAtTheNextTick) {
    rig.settings.CheckInterval = 3;
    rig.pop3.failing = {QStringLiteral("ConnectByName")};
    rig.pop3.failCause = QStringLiteral("connect pop.mirelo.test:110: connection refused");
    for (int i = 0; i < 2; ++i) rig.Engine().Tick();
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::CheckFailed);
    EXPECT_THAT(rig.view.Codes(), IsSupersetOf({std::int16_t{10}, std::int16_t{-13}}));
    EXPECT_EQ(
        rig.view.statuses.back(),
        (StatusLine{-1, QStringLiteral("接続できませんでした。リトライします。"), StatusColour::Red, true}));
    EXPECT_EQ(rig.LogLines().last(),
              QStringLiteral("ERROR ConnectByName:-7 connect pop.mirelo.test:110: connection refused"));
    EXPECT_EQ(rig.pop3.calls.last(), QStringLiteral("ConnectByName(pop.mirelo.test)"));  // no Destroy
    rig.pop3.failing.clear();
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::Checked);
    EXPECT_EQ(rig.Engine().State().ElapsedMinutes, 0);
}

TEST_F(Engine, RefusedLogInEndsWithoutQuitAndFails) {
    rig.pop3.failing = {QStringLiteral("Authorize")};
    EXPECT_FALSE(rig.Engine().CheckMail(CheckMode::Regular));
    EXPECT_EQ(rig.pop3.calls, (QStringList{QStringLiteral("ConnectByName(pop.mirelo.test)"),
                                           QStringLiteral("Authorize(agent)"), QStringLiteral("Destroy()")}));
    EXPECT_EQ(rig.view.Codes().back(), -12);
    EXPECT_EQ(rig.LogLines().last(), QStringLiteral("ERROR Authorize:-7"));
}

TEST_F(Engine, FailedStatStillQuitsAndCounts) {
    rig.pop3.failing = {QStringLiteral("STAT")};
    EXPECT_TRUE(rig.Engine().CheckMail(CheckMode::Regular));
    EXPECT_EQ(rig.pop3.calls.mid(2),
              (QStringList{QStringLiteral("STAT()"), QStringLiteral("QUIT()"), QStringLiteral("Destroy()")}));
    EXPECT_THAT(rig.view.Codes(), IsSupersetOf({std::int16_t{-11}}));
    EXPECT_EQ(rig.view.Codes().back(), 0);
}

TEST_F(Engine, CommandsFromThePhoneAreObeyedAndDeleted) {
    rig.FromOther(QStringLiteral("会議の件"));
    rig.FromOther(QStringLiteral("LIST"), QStringLiteral("stranger@example.jp"));  // a stranger's is listed
    rig.FromPhone(QStringLiteral("list"));                                         // lower case is no command
    rig.FromPhone(QStringLiteral("LIST"));
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::Checked);

    EXPECT_EQ(rig.Engine().State().MailList, QStringLiteral("1 会議の件[1001] friend@example.jp\r\n"
                                                            "2 LIST[1002] stranger@example.jp\r\n"
                                                            "3 list[1003] phone@mirelo.test\r\n"));
    EXPECT_EQ(rig.pop3.mails.size(), 3u);  // the command mail is gone
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    const SentMail& list = rig.smtp.sent[0];
    EXPECT_EQ(list.to, QStringLiteral("phone@mirelo.test"));
    EXPECT_EQ(list.from, QStringLiteral("agent@mirelo.test"));
    EXPECT_EQ(list.server, QStringLiteral("smtp.mirelo.test"));
    EXPECT_EQ(list.fileName, QStringLiteral("0"));
    EXPECT_EQ(list.subject, QStringLiteral("Mirelo 3lists"));
    EXPECT_EQ(list.body, rig.Engine().State().MailList);
    EXPECT_EQ(rig.view.counters, QStringLiteral("一覧取得(1件)　本文取得(0件)　転送(0件)　削除(0件)"));

    // Nothing new since: the latest list says so; ALL sends everything again.
    rig.FromPhone(QStringLiteral("LIST"));
    rig.Engine().Tick();
    EXPECT_EQ(rig.smtp.sent.back().subject, QStringLiteral("Mirelo 0lists"));
    EXPECT_EQ(rig.smtp.sent.back().body, QStringLiteral("新着メールはありません。"));
    rig.FromPhone(QStringLiteral("LIST ALL"));
    rig.Engine().Tick();
    EXPECT_EQ(rig.smtp.sent.back().subject, QStringLiteral("Mirelo 3lists"));
}

TEST_F(Engine, AttachmentsAndNonTextMailsAreMarked) {
    rig.FromOther(QStringLiteral("写真"));
    rig.pop3.mails.back().attachments = 1;
    rig.FromOther(QStringLiteral("構造"));
    rig.pop3.mails.back().contentType = QStringLiteral("multipart/mixed; boundary=\"b\"");
    rig.Engine().Tick();
    EXPECT_EQ(rig.Engine().State().MailList, QStringLiteral("@1 写真[1001] friend@example.jp\r\n"
                                                            "@2 構造[1002] friend@example.jp\r\n"));
    EXPECT_TRUE(rig.pop3.parsedTexts[1].contains(
        QStringLiteral("Content-Type: text/plain; charset=iso-2022-jp\r\n")));
}

TEST_F(Engine, BodyModeReadsTheFirstBodyLine) {
    rig.settings.CommandBySubject = false;
    rig.FromOther(QStringLiteral("a"));
    rig.FromPhone(QStringLiteral("件名は無視"), QStringLiteral("LIST\r\nother@example.jp\r\n"));
    rig.Engine().Tick();
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_EQ(rig.smtp.sent[0].to, QStringLiteral("other@example.jp"));
    EXPECT_EQ(rig.smtp.sent[0].body,
              QStringLiteral("1 a[1001] friend@example.jp\r\n"));  // elsewhere: not shaped
}

TEST_F(Engine, ListToASignatureLineIsRefused) {
    rig.FromPhone(QStringLiteral("LIST"), QStringLiteral("-- \r\nTaro\r\n"));
    rig.Engine().Tick();
    EXPECT_TRUE(rig.smtp.sent.empty());
    EXPECT_THAT(rig.LogLines(), IsSupersetOf({QStringLiteral("  Illegal mail address -- --"),
                                              QStringLiteral("-Mail list send failed.")}));
    EXPECT_EQ(rig.Engine().State().ReportedCount, 0);
}

TEST_F(Engine, BodyRequestsAreShapedAndSplit) {
    FakeMail mail = Mail(QStringLiteral("boss@example.jp"), QStringLiteral("報告"));
    for (int i = 0; i < 50; ++i) mail.body += QStringLiteral("0123456789\r\n");
    mail.to = QStringList{QStringLiteral("agent@mirelo.test"), QStringLiteral("x@y")};
    rig.settings.AddTo = false;
    rig.settings.AddCc = false;
    rig.settings.AddFrom = false;
    rig.pop3.mails.push_back(mail);
    rig.FromPhone(QStringLiteral("BODY 1"));
    rig.FromPhone(QStringLiteral("BODY 2-9"));  // the second request: joined, 2 is the command mail
    rig.Engine().Tick();

    EXPECT_EQ(Subjects(rig.smtp),
              (QStringList{QStringLiteral("[1]MireloFw:報告"), QStringLiteral("[2]MireloFw:報告"),
                           QStringLiteral("[3]MireloFw:報告")}));
    EXPECT_EQ(rig.smtp.sent[0].body.size(), 240);
    EXPECT_EQ(rig.smtp.sent[2].body.size(), 120);
    EXPECT_THAT(rig.LogLines(), IsSupersetOf({QStringLiteral("+Mail body send start--> 1,2-9,"),
                                              QStringLiteral(" Sending mail No.1"),
                                              QStringLiteral("  Send to phone@mirelo.test part3(120 Char)."),
                                              QStringLiteral("-Mail body send end.")}));
    EXPECT_EQ(rig.view.counters, QStringLiteral("一覧取得(0件)　本文取得(2件)　転送(0件)　削除(0件)"));
}

TEST_F(Engine, BodyTextCarriesHeaderLinesAndStandsInForUnreadableMail) {
    FakeMail mail =
        Mail(QStringLiteral("boss@example.jp"), QStringLiteral("件名"), QStringLiteral("本文\r\n"));
    mail.to = QStringList{QStringLiteral("a@x"), QStringLiteral("b@x")};
    rig.pop3.mails.push_back(mail);
    rig.FromOther(QStringLiteral("二通目"));
    rig.FromPhone(QStringLiteral("BODY 1,2"));
    rig.pop3.failing = {QStringLiteral("RETR(2)")};
    rig.Engine().Tick();
    ASSERT_EQ(rig.smtp.sent.size(), 2u);
    EXPECT_EQ(rig.smtp.sent[0].body, QStringLiteral("To:a@x,b@x\r\nCc:\r\nFrom:boss@example.jp\r\n本文\r\n"));
    EXPECT_EQ(rig.smtp.sent[1].subject, QStringLiteral("Sorry cannot get mail(No.2)"));
    EXPECT_EQ(rig.smtp.sent[1].body, QStringLiteral("Sorry cannot get mail(No.2)"));
    EXPECT_THAT(rig.LogLines(), IsSupersetOf({QStringLiteral("ERROR RETR:-7")}));
}

TEST_F(Engine, TransferGoesWholeToTheSecondAddress) {
    rig.pop3.mails.push_back(Mail(QStringLiteral("boss@example.jp"), QStringLiteral("資料"),
                                  QStringLiteral(">>  引用\r\n\r\n  字下げ  \r\n")));
    rig.FromPhone(QStringLiteral("TRAN 1-3"));
    rig.FromOther(QStringLiteral("後から来た"));  // numbered after the transfer: not reached
    rig.Engine().Tick();
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_EQ(rig.smtp.sent[0].to, QStringLiteral("office@mirelo.test"));
    EXPECT_EQ(rig.smtp.sent[0].subject, QStringLiteral("MireloFw:資料"));
    EXPECT_TRUE(rig.smtp.sent[0].body.endsWith(QStringLiteral(">>  引用\r\n\r\n  字下げ  \r\n")));
    EXPECT_EQ(rig.view.counters, QStringLiteral("一覧取得(0件)　本文取得(0件)　転送(1件)　削除(0件)"));
}

TEST_F(Engine, TransferToAGivenAddressOrNowhere) {
    rig.FromOther(QStringLiteral("x"));
    rig.FromPhone(QStringLiteral("TRAN 1"), QStringLiteral(" pc@home.jp \r\n"));
    rig.settings.MailAddr2.clear();
    rig.FromPhone(QStringLiteral("TRAN 1"));
    rig.Engine().Tick();
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_EQ(rig.smtp.sent[0].to, QStringLiteral("pc@home.jp"));
    EXPECT_THAT(rig.LogLines(), IsSupersetOf({QStringLiteral("  Illegal mail address -- "),
                                              QStringLiteral("-Transfer body failed.")}));
}

TEST_F(Engine, DeletionThenAFreshListAtTheNextTick) {
    rig.settings.CheckInterval = 10;
    for (const char* s : {"一", "二", "三"}) rig.FromOther(QString::fromUtf8(s));
    rig.FromPhone(QStringLiteral("DEL 1,3"));
    rig.Engine().CheckNow();

    EXPECT_EQ(rig.pop3.mails.size(), 1u);
    const QStringList log = rig.LogLines();
    EXPECT_THAT(
        log.mid(1, 4),
        ElementsAre(QStringLiteral("+Delete mail start--> 1,3,"), QStringLiteral("  Delete mail No.1"),
                    QStringLiteral("  Delete mail No.3"), QStringLiteral("-Delete mail end.")));
    // CheckNow made the check the deletion asked for at once.
    EXPECT_THAT(log.mid(5), ElementsAre(QStringLiteral("+Latest list send start."),
                                        QStringLiteral("  After delete listing."),
                                        QStringLiteral("  Send to phone@mirelo.test(50 Char)."),
                                        QStringLiteral("-Mail list send end(1 lists).")));
    EXPECT_EQ(rig.smtp.sent.back().body,
              QStringLiteral("***Delete result***\r\n1 二[1001] friend@example.jp\r\n"));
    EXPECT_FALSE(rig.Engine().State().ForceCheck);
}

TEST_F(Engine, DeletionForcesACheckAtTheVeryNextTick) {
    rig.settings.CheckInterval = 10;
    rig.FromPhone(QStringLiteral("DEL 1"));
    rig.Engine().CheckMail(CheckMode::Regular);
    EXPECT_TRUE(rig.Engine().State().ForceCheck);
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::Checked);
    EXPECT_EQ(rig.smtp.sent.back().body, QStringLiteral("***Delete result***\r\nメールはありません。"));
}

TEST_F(Engine, NumbersOutOfRangeDeleteNothing) {
    rig.FromOther(QStringLiteral("残す"));
    rig.FromPhone(
        QStringLiteral("DEL 40000,5-2,2,0"));  // 2 is the command mail itself: above the last number
    rig.Engine().CheckMail(CheckMode::Regular);
    EXPECT_EQ(rig.pop3.mails.size(), 1u);
    EXPECT_EQ(rig.pop3.calls.filter(QStringLiteral("DELE")), QStringList{QStringLiteral("DELE(2)")});
}

TEST_F(Engine, QuitEndsAfterTheCheckWithTheInterlockCleared) {
    rig.FromPhone(QStringLiteral("!!QUIT!!"));
    rig.FromPhone(QStringLiteral("LIST"));
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::QuitCommand);
    EXPECT_EQ(ReadDuringCheck(), QString());
    EXPECT_TRUE(rig.pop3.mails.empty());
    EXPECT_EQ(rig.smtp.sent.size(), 1u);  // the rest of the check went on
    EXPECT_EQ(rig.LogLines().last(), QStringLiteral("!!QUIT COMMAND ACCEPT!!"));
}

TEST_F(Engine, SpecialCommandsNeedTheSetting) {
    rig.settings.SpecialCommandAccept = false;
    rig.FromPhone(QStringLiteral("!!QUIT!!"));
    EXPECT_EQ(rig.Engine().Tick(), TickOutcome::Checked);
    EXPECT_EQ(rig.Engine().State().MailList, QStringLiteral("1 !!QUIT!![1001] phone@mirelo.test\r\n"));
}

TEST_F(Engine, AddressChangeIsSavedAndFollowedAtOnce) {
    rig.FromPhone(QStringLiteral("!!ADDRESS!!"), QStringLiteral("new@phone.jp\r\n"));
    rig.pop3.mails.push_back(Mail(QStringLiteral("new@phone.jp"), QStringLiteral("LIST")));
    rig.Engine().Tick();
    EXPECT_EQ(rig.settings.MailAddr1, QStringLiteral("new@phone.jp"));
    AgentSettings loaded;
    (void)LoadSettings(SettingsFilePath(rig.Folder()), loaded);
    EXPECT_EQ(loaded.MailAddr1, QStringLiteral("new@phone.jp"));
    EXPECT_EQ(rig.view.title, QStringLiteral("Mirelo - new@phone.jp"));
    EXPECT_EQ(rig.LogLines()[1], QStringLiteral("!!MASTER ADDRESS CHANGED!!--> new@phone.jp"));
    // The later LIST came from the new address, and its empty address line means the new address.
    ASSERT_EQ(rig.smtp.sent.size(), 1u);
    EXPECT_EQ(rig.smtp.sent[0].to, QStringLiteral("new@phone.jp"));
}

TEST_F(Engine, AddressChangeRefusals) {
    const QString lines[] = {QStringLiteral("a@x,b@y\r\n"), QStringLiteral("no-at-sign\r\n"), QString()};
    for (const QString& body : lines) rig.FromPhone(QStringLiteral("!!ADDRESS!!"), body);
    rig.Engine().Tick();
    EXPECT_EQ(rig.settings.MailAddr1, QStringLiteral("phone@mirelo.test"));
    EXPECT_THAT(rig.LogLines().mid(1), ElementsAre(QStringLiteral("ERROR ADDRESS CHANGE--> a@x,b@y"),
                                                   QStringLiteral("ERROR ADDRESS CHANGE--> no-at-sign"),
                                                   QStringLiteral("ERROR ADDRESS CHANGE--> ")));
    EXPECT_FALSE(QFile::exists(SettingsFilePath(rig.Folder())));
}

TEST_F(Engine, AddressThatCannotBeSavedIsNotTaken) {
    ASSERT_TRUE(QDir(rig.Folder()).mkdir(QStringLiteral("Mirelo.ini")));  // the save must fail
    rig.FromPhone(QStringLiteral("!!ADDRESS!!"), QStringLiteral("new@phone.jp\r\n"));
    rig.Engine().Tick();
    EXPECT_EQ(rig.settings.MailAddr1, QStringLiteral("phone@mirelo.test"));
    const QStringList log = rig.LogLines();
    ASSERT_EQ(log.size(), 3);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("ERROR SaveSettings:"))) << log[1].toStdString();
    EXPECT_EQ(log[2], QStringLiteral("ERROR ADDRESS CHANGE--> new@phone.jp"));
}

TEST_F(Engine, OneUnreadableMailDoesNotStopTheCheck) {
    for (const char* s : {"一", "二", "三"}) rig.FromOther(QString::fromUtf8(s));
    rig.FromPhone(QStringLiteral("LIST"));
    rig.pop3.failing = {QStringLiteral("TOP_(2)"), QStringLiteral("MakeDataEx(3)")};
    rig.Engine().Tick();
    EXPECT_EQ(rig.Engine().State().MailList, QStringLiteral("1 一[1001] friend@example.jp\r\n"
                                                            "2 Mail cannot TOP_.\r\n"
                                                            "3 Mail cannot receive.\r\n"));
    EXPECT_THAT(rig.LogLines().mid(1, 2),
                ElementsAre(QStringLiteral("ERROR TOP_:-7"), QStringLiteral("ERROR MakeDataEx:-7")));
    EXPECT_EQ(rig.smtp.sent.size(), 1u);
}

TEST_F(Engine, RefusedPartIsLoggedAndTheRestSent) {
    FakeMail mail = Mail(QStringLiteral("boss@example.jp"), QStringLiteral("長文"), QString(600, u'x'));
    rig.pop3.mails.push_back(mail);
    rig.FromPhone(QStringLiteral("BODY 1"));
    rig.smtp.refused = {2};
    rig.settings.AddTo = rig.settings.AddCc = rig.settings.AddFrom = false;
    rig.Engine().Tick();
    EXPECT_EQ(rig.smtp.sent.size(), 3u);
    EXPECT_THAT(rig.LogLines(), IsSupersetOf({QStringLiteral("ERROR SendMail:-4")}));
    EXPECT_THAT(rig.view.Codes(), IsSupersetOf({std::int16_t{-100}}));
}

TEST_F(Engine, WholeCheckLogInOrder) {
    rig.FromOther(QStringLiteral("一"));
    rig.FromOther(QStringLiteral("二"));
    rig.FromPhone(QStringLiteral("TRAN 1"));
    rig.FromPhone(QStringLiteral("DEL 2"));
    rig.FromPhone(QStringLiteral("BODY 1"));
    rig.FromPhone(QStringLiteral("LIST"));
    rig.Engine().Tick();
    EXPECT_EQ(rig.LogLines(), (QStringList{
                                  QStringLiteral("<-- Change Waiting Mode -->"),
                                  QStringLiteral("+Transfer body start--> 1"),
                                  QStringLiteral(" Sending mail No.1"),
                                  QStringLiteral("  Send to office@mirelo.test(41 Char)."),
                                  QStringLiteral("-Transfer body end."),
                                  QStringLiteral("+Latest list send start."),
                                  QStringLiteral("  Send to phone@mirelo.test(58 Char)."),
                                  QStringLiteral("-Mail list send end(2 lists)."),
                                  QStringLiteral("+Mail body send start--> 1,"),
                                  QStringLiteral(" Sending mail No.1"),
                                  QStringLiteral("  Send to phone@mirelo.test(41 Char)."),
                                  QStringLiteral("-Mail body send end."),
                                  QStringLiteral("+Delete mail start--> 2,"),
                                  QStringLiteral("  Delete mail No.2"),
                                  QStringLiteral("-Delete mail end."),
                              }));
}

TEST(SaturatingAdd, StopsAtTheEnds) {
    EXPECT_EQ(SaturatingAdd(32767, 1), 32767);
    EXPECT_EQ(SaturatingAdd(32766, 1), 32767);
    EXPECT_EQ(SaturatingAdd(1, -1), 0);
    EXPECT_EQ(SaturatingAdd(-32768, -1), -32768);
}

}  // namespace
}  // namespace mirelo
