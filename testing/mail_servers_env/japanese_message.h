#pragma once
// Japanese mails as a phone or a Japanese mail program writes them: ISO-2022-JP body, Subject as a
// base64 encoded word. Converted with glibc iconv, independently of the project's own encoders, so a
// fault in those is not hidden by the same fault in the test data.

#include <string>

namespace mirelo::mail_servers {

// `utf8` in ISO-2022-JP; empty when iconv cannot convert it.
[[nodiscard]] std::string ToIso2022Jp(const std::string& utf8);

// "=?ISO-2022-JP?B?...?=" for `utf8`; the text itself when it is plain ASCII.
[[nodiscard]] std::string EncodedWord(const std::string& utf8);

// A whole mail (headers, blank line, body; LF line ends) with MIME headers for ISO-2022-JP text.
// `bodyUtf8` lines end in LF or CR LF.
[[nodiscard]] std::string JapaneseMessage(const std::string& from, const std::string& to,
                                          const std::string& subjectUtf8, const std::string& bodyUtf8);

}  // namespace mirelo::mail_servers
