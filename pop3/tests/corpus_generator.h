#pragma once
// Generates varied Japanese mail (ISO-2022-JP text, encoded words, address forms, multipart with named
// attachments, uuencode) from a seed, with a note of every feature a message uses, so a comparison with
// another parser can tell a specified difference from a fault.

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "pop3/tests/mail_builder.h"

namespace inlark::testing {

struct GeneratedPart {
    std::string file_name;  // as the part names it (ISO-2022-JP when Japanese)
    std::string bytes;      // the decoded content
    std::set<std::string> features;
};

struct GeneratedMail {
    std::string text;         // CR LF lines, without the POP3 end line
    std::string subject_jis;  // the subject's text in ISO-2022-JP, when it is made of encoded words
    std::set<std::string> features;
    std::vector<GeneratedPart> parts;
};

class CorpusGenerator {
  public:
    explicit CorpusGenerator(std::uint32_t seed) : rng_(seed) {}

    // Japanese text in ISO-2022-JP: kana and level-1 kanji, sometimes mixed with ASCII words.
    std::string JisText(int chars) {
        std::string out;
        bool kanji_mode = false;
        for (int i = 0; i < chars; ++i) {
            if (Pick(5) == 0) {
                if (kanji_mode) out += "\x1b(B";
                kanji_mode = false;
                out += Word();
                continue;
            }
            if (!kanji_mode) out += "\x1b$B";
            kanji_mode = true;
            switch (Pick(3)) {
                case 0:
                    out += '\x24';
                    out += static_cast<char>(0x21 + Pick(0x53));
                    break;
                case 1:
                    out += '\x25';
                    out += static_cast<char>(0x21 + Pick(0x56));
                    break;
                default:
                    out += static_cast<char>(0x30 + Pick(0x1F));
                    out += static_cast<char>(0x21 + Pick(0x5E));
                    break;
            }
        }
        if (kanji_mode) out += "\x1b(B";
        return out;
    }

    std::string Word() {
        static const char* words[] = {"mail", "report", "Tokyo", "data", "2026", "meeting", "plan", "x-ray"};
        return words[Pick(8)];
    }

    std::string EncodedWord(const std::string& jis) { return "=?ISO-2022-JP?B?" + Base64(jis, 0) + "?="; }

    std::string Address() {
        static const char* users[] = {"taro", "hanako", "info", "a.b", "x_y", "sales-1"};
        static const char* hosts[] = {"example.jp", "mail.example.com", "docomo.ne.jp", "x.org"};
        return std::string(users[Pick(6)]) + std::to_string(Pick(100)) + "@" + hosts[Pick(4)];
    }

    // One address in one of the written forms; `form` reports which.
    std::string AddressForm(std::string* form) {
        const std::string addr = Address();
        switch (Pick(7)) {
            case 0:
                *form = "bare";
                return addr;
            case 1:
                *form = "angle";
                return "<" + addr + ">";
            case 2:
                *form = "name";
                return "Yamada Taro <" + addr + ">";
            case 3:
                *form = "quoted";
                return "\"Sato, Jiro\" <" + addr + ">";
            case 4:
                *form = "comment";
                return addr + " (Suzuki)";
            case 5:
                *form = "encoded";
                return EncodedWord(JisText(3)) + " <" + addr + ">";
            default:
                *form = "quoted-encoded";
                return "\"" + EncodedWord(JisText(4)) + "\" <" + addr + ">";
        }
    }

    std::string AddressList(std::set<std::string>& features, const char* field) {
        int n = 1 + Pick(3);
        bool tight = Pick(20) == 0;
        std::string out;
        for (int i = 0; i < n; ++i) {
            std::string form;
            std::string a = AddressForm(&form);
            if (i > 0) {
                out += tight ? "," : ", ";
                if (!tight && Pick(6) == 0) out.back() = '\r', out += "\n\t";  // fold after the comma
            }
            // Quotes and comments further on the line change how the addresses before them are read.
            if (i > 0 && (form == "comment" || form == "quoted" || form == "quoted-encoded")) {
                features.insert(std::string(field) + "-later-form-decides");
            }
            if (form == "comment" && i < n - 1) features.insert(std::string(field) + "-comment-not-last");
            out += a;
        }
        if (tight && n > 1) features.insert(std::string(field) + "-comma-without-space");
        // A comment anywhere after the first address also changes the earlier ones on that line.
        if (out.find('(') != std::string::npos && n > 1)
            features.insert(std::string(field) + "-comment-in-list");
        return out;
    }

    std::string Subject(std::set<std::string>& features, bool mime) {
        switch (Pick(6)) {
            case 0:
                return Word() + " " + Word();
            case 1:
                if (!mime) features.insert("encoded-subject-without-mime");
                return EncodedWord(JisText(6));
            case 2: {
                if (!mime) features.insert("encoded-subject-without-mime");
                features.insert("subject-two-words");
                const std::string a = JisText(5), b = JisText(5);
                // Folded, the words join; on one line the space between them stays (the component's reading).
                const bool folded = Pick(2);
                subject_jis_ = a + (folded ? "" : " ") + b;
                return EncodedWord(a) + (folded ? "\r\n " : " ") + EncodedWord(b);
            }
            case 3:
                features.insert("subject-other-charset");
                return "=?UTF-8?B?" + Base64("\xe6\x97\xa5\xe6\x9c\xac " + Word(), 0) + "?=";
            case 4:
                features.insert("subject-folded-plain");
                return Word() + "\r\n " + Word();
            default:
                features.insert("subject-raw-jis");
                return JisText(4);
        }
    }

    std::string RandomBytes(std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(Pick(256));
        return s;
    }

    std::string TextBytes(std::size_t n) {
        std::string s;
        while (s.size() < n) s += Word() + (Pick(8) == 0 ? "\r\n" : " ");
        return s + "\r\n";
    }

    // One attachment part (header lines, empty line, data, no final CR LF).
    std::string AttachmentPart(GeneratedPart& part) {
        std::string name;
        switch (Pick(4)) {
            case 0:
                name = EncodedWord(JisText(3)) + ".txt";
                break;
            default:
                name = Word() + "-" + std::to_string(Pick(1000)) + (Pick(2) ? ".bin" : ".dat");
                break;
        }
        part.file_name = name;
        std::string header;
        switch (Pick(7)) {
            case 0:
                header = "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n";
                break;
            case 1:
                header = "Content-Type: image/png\r\nContent-Disposition: attachment; filename=\"" + name +
                         "\"\r\n";
                break;
            case 2:
                header =
                    "Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n\tfilename=\"" +
                    name + "\"\r\n";
                break;
            case 3:
                header = "Content-Type: application/octet-stream;\r\n name=\"" + name +
                         "\"\r\nContent-Disposition: attachment;\r\n filename=\"" + name + "\"\r\n";
                break;
            case 4:
                header = "Content-Type: text/plain; name=\"" + name + "\"\r\n";
                part.features.insert("named-only-by-type-name");
                break;
            case 5:
                header =
                    "Content-Type: application/zip\r\nContent-Disposition: attachment; filename=" + Word() +
                    ".zip\r\n";
                part.file_name = Word();
                part.features.insert("unquoted-file-name");
                break;
            default:
                header = "Content-Type: application/octet-stream\r\n";
                part.file_name.clear();
                part.features.insert("no-name");
                break;
        }
        std::string data;
        switch (Pick(6)) {
            case 0:
                part.bytes = TextBytes(50 + Pick(400));
                header += "Content-Transfer-Encoding: 7bit\r\n";
                data = part.bytes.substr(0, part.bytes.size() - 2);
                part.features.insert("line-end-before-boundary");
                break;
            case 1:
                part.bytes = TextBytes(50 + Pick(400));
                part.bytes.erase(part.bytes.size() - 2);
                header += "Content-Transfer-Encoding: quoted-printable\r\n";
                data = QuotedPrintable(part.bytes);
                part.features.insert("line-end-before-boundary");
                break;
            case 2:
                part.bytes = RandomBytes(100 + Pick(4000));
                data = Base64(part.bytes);
                part.features.insert("no-transfer-encoding");
                break;
            default:
                part.bytes = RandomBytes(Pick(6000));
                header += "Content-Transfer-Encoding: base64\r\n";
                data = Base64(part.bytes);
                break;
        }
        return header + "\r\n" + data;
    }

    GeneratedMail Next() {
        GeneratedMail m;
        const int kind = Pick(10);
        const bool mime = kind != 0;
        if (!mime) m.features.insert("no-mime");
        std::string h;
        std::string form;
        h += "From: " + AddressForm(&form) + "\r\n";
        m.features.insert("from-" + form);
        h += "To: " + AddressList(m.features, "to") + "\r\n";
        if (Pick(3) == 0) h += "Cc: " + AddressList(m.features, "cc") + "\r\n";
        subject_jis_.clear();
        h += "Subject: " + Subject(m.features, mime) + "\r\n";
        m.subject_jis = subject_jis_;
        h += "Date: Mon, " + std::to_string(1 + Pick(28)) + " Dec 2026 10:" + std::to_string(10 + Pick(50)) +
             ":00 +0900\r\n";
        h += "Message-ID: <" + std::to_string(Pick(1000000)) + "@example.jp>\r\n";
        if (mime) h += "MIME-Version: 1.0\r\n";

        const std::string boundary =
            "=_Part_" + std::to_string(Pick(100000)) + "_" + std::to_string(Pick(1000));
        const bool quoted = Pick(3) != 0;
        const std::string b_param = quoted ? "\"" + boundary + "\"" : boundary;
        if (!mime) {
            std::string body = JisText(20) + "\r\n";
            if (Pick(2)) {
                m.features.insert("uuencode");
                GeneratedPart p;
                p.file_name = Word() + ".bin";
                p.bytes = RandomBytes(1 + Pick(2000));
                body += "begin 644 " + p.file_name + "\r\n" + UuLines(p.bytes) + "end\r\n";
                m.parts.push_back(std::move(p));
            }
            m.text = h + "\r\n" + body;
            return m;
        }
        if (kind <= 3) {
            const int enc = Pick(3);
            const std::string text = JisText(40);
            if (enc == 0) {
                h += "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n";
                m.text = h + "\r\n" + text + "\r\n";
            } else if (enc == 1) {
                h += "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: base64\r\n";
                m.text = h + "\r\n" + Base64(text) + "\r\n";
            } else {
                h += "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: "
                     "quoted-printable\r\n";
                m.text = h + "\r\n" + QuotedPrintable(text) + "\r\n";
            }
            return m;
        }
        if (kind == 4) {
            m.features.insert("alternative");
            h += "Content-Type: multipart/alternative; boundary=" + b_param + "\r\n";
            m.text = h + "\r\n--" + boundary + "\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" +
                     JisText(10) + "\r\n--" + boundary + "\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n--" +
                     boundary + "--\r\n";
            return m;
        }
        h += "Content-Type: multipart/mixed;" + std::string(Pick(2) ? " " : "\r\n\t") +
             "boundary=" + b_param + "\r\n";
        std::string body = "This is a multi-part message in MIME format.\r\n";
        if (kind == 5) {
            m.features.insert("first-part-is-file");
            GeneratedPart first;
            body += "--" + boundary + "\r\n" + AttachmentPart(first) + "\r\n";
        } else {
            body += "--" + boundary + "\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n" +
                    "Content-Transfer-Encoding: 7bit\r\n\r\n" + JisText(30) + "\r\n";
        }
        const int n = 1 + Pick(3);
        for (int i = 0; i < n; ++i) {
            GeneratedPart p;
            body += "--" + boundary + "\r\n" + AttachmentPart(p) + "\r\n";
            m.parts.push_back(std::move(p));
        }
        body += "--" + boundary + "--\r\n";
        m.text = h + "\r\n" + body;
        return m;
    }

  private:
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

    std::mt19937 rng_;
    std::string subject_jis_;
};

}  // namespace inlark::testing
