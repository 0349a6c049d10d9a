// The DecodeCharsets property of the exported class and the lossless getters beside the Shift_JIS ones.
#include <gtest/gtest.h>

#include <string>

#include "inlark/pop3.h"

namespace inlark {
namespace {

// A UTF-8 mail as the host hands it over: subject with an emoji, a name and a file name CP932 cannot hold.
const std::u16string kMail =
    u"From: =?UTF-8?B?8J+No+Wxiw==?= <sushi@example.jp>\r\n"
    u"To: =?UTF-8?Q?Ren=C3=A9e?= <r@example.jp>\r\n"
    u"Subject: =?UTF-8?B?5a+/5Y+4IPCfjaM=?=\r\n"
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/mixed; boundary=b\r\n"
    u"\r\n"
    u"--b\r\n"
    u"Content-Type: text/plain; charset=UTF-8\r\n"
    u"Content-Transfer-Encoding: 8bit\r\n"
    u"\r\n"
    u"\u304a\u3044\u3057\u3044 \U0001F363\r\n"
    u"--b\r\n"
    u"Content-Type: application/octet-stream\r\n"
    u"Content-Disposition: attachment; filename*=UTF-8''%F0%9F%8D%A3.txt\r\n"
    u"\r\n"
    u"x\r\n"
    u"--b--\r\n"
    u".\r\n";

TEST(DecodeCharsetsProperty, DefaultsToTheComponentsOwnReadingAndTakesOnlyZeroOrOne) {
    Pop3 pop3;
    EXPECT_EQ(pop3.DecodeCharsets(), 0);
    pop3.SetDecodeCharsets(2);
    EXPECT_EQ(pop3.DecodeCharsets(), 0);
    pop3.SetDecodeCharsets(1);
    EXPECT_EQ(pop3.DecodeCharsets(), 1);
    pop3.SetDecodeCharsets(-1);
    EXPECT_EQ(pop3.DecodeCharsets(), 1);

    Pop3 own_reading;
    std::int32_t result = 0;
    own_reading.MakeDataEx(kMail, &result);
    ASSERT_EQ(result, 1);
    std::u16string subject, subject_w;
    own_reading.GetSubject(&subject);
    own_reading.GetSubjectW(&subject_w);
    EXPECT_EQ(subject, u"=?UTF-8?B?5a+/5Y+4IPCfjaM=?=");  // only JIS and Shift_JIS words in that reading
    EXPECT_EQ(subject_w, subject);
}

TEST(DecodeCharsetsProperty, WideGettersAreLosslessAndTheOldOnesGiveOneQuestionMarkPerCharacter) {
    Pop3 pop3;
    pop3.SetDecodeCharsets(1);
    std::int32_t result = 0;
    pop3.MakeDataEx(kMail, &result);
    ASSERT_EQ(result, 1);

    struct Case {
        const char* what;
        void (Pop3::*lossy)(std::u16string*);
        void (Pop3::*lossless)(std::u16string*);
        std::u16string shift_jis;
        std::u16string wide;
    };
    const Case cases[] = {
        {"subject", &Pop3::GetSubject, &Pop3::GetSubjectW, u"寿司 ?", u"寿司 \U0001F363"},
        {"from name", &Pop3::GetFromNickName, &Pop3::GetFromNickNameW, u"?屋", u"\U0001F363屋"},
        {"from", &Pop3::GetFrom, &Pop3::GetFromW, u"sushi@example.jp", u"sushi@example.jp"},
        {"body", &Pop3::GetBody, &Pop3::GetBodyW, u"おいしい ?", u"おいしい \U0001F363"},
    };
    for (const Case& c : cases) {
        std::u16string lossy, lossless;
        (pop3.*c.lossy)(&lossy);
        (pop3.*c.lossless)(&lossless);
        EXPECT_EQ(lossy, c.shift_jis) << c.what;
        EXPECT_EQ(lossless, c.wide) << c.what;
    }

    std::u16string text;
    pop3.GetToNickName(1, &text);
    EXPECT_EQ(text, u"Ren?e");  // é is not in CP932
    pop3.GetToNickNameW(1, &text);
    EXPECT_EQ(text, u"Renée");
    pop3.GetFileNameW(1, &text);
    EXPECT_EQ(text, u"\U0001F363.txt");
    pop3.GetFileName(1, &text);
    EXPECT_EQ(text, u"?.txt");

    EXPECT_EQ(pop3.LastError(), 0);
    pop3.GetToW(2, &text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(pop3.LastError(), -5);
}

}  // namespace
}  // namespace inlark
