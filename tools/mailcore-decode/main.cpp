// mailcore-decode FILE: prints a mail's main header lines and each body part decoded, as UTF-8.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "mailcore/base64.h"
#include "mailcore/encoded_words.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/quoted_printable.h"
#include "mailcore/uudecode.h"
#include "mailcore/wide_text.h"
#include "tools/mailcore-decode/mail_split.h"

namespace {

using mailcore_decode::Entity;
using mailcore_decode::FieldValue;
using mailcore_decode::Lower;
using mailcore_decode::Parameter;

// Decodes line by line, as the mail library does: quoted-printable lines keep their line ends (its kanji
// runs come out as Shift_JIS already); base64 lines give every complete group, the whole then read as JIS.
std::string DecodeBody(const std::string& body, const std::string& encoding, const std::string& charset) {
    std::string sjis;
    std::istringstream lines(body);
    std::string line;
    if (encoding == "quoted-printable") {
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            sjis += mailcore::QpDecodeText(line, line.size()) + "\r\n";
        }
        return sjis;
    }
    std::string raw;
    if (encoding == "base64") {
        while (std::getline(lines, line)) {
            const size_t groups = line.size() / 4 * 4;
            raw += mailcore::Base64DecodeText(line, (groups + 2) / 3 * 3);
        }
    } else {
        raw = body;
    }
    return charset == "shift_jis" || charset == "shift-jis" ? raw : mailcore::JisToSjis(raw);
}

// Host-side Shift_JIS to the terminal's UTF-8, line ends as LF.
std::string ForTerminal(const std::string& sjis) {
    std::string utf8 = mailcore::Cp932ToUtf8(sjis);
    std::string out;
    for (char c : utf8) {
        if (c != '\r') out += c;
    }
    return out;
}

void PrintPart(const Entity& part, size_t number, const std::string& type, const std::string& encoding) {
    const std::string charset = Lower(Parameter(type, "charset"));
    std::cout << "--- part " << number << ": "
              << (type.empty() ? "text/plain" : Lower(type.substr(0, type.find(';'))))
              << (charset.empty() ? "" : ", " + charset) << ", " << (encoding.empty() ? "7bit" : encoding)
              << " ---\n";
    const std::string name = Parameter(FieldValue(part, "Content-Disposition"), "filename");
    if (!name.empty() || Lower(type).starts_with("application/")) {
        const std::string joined = [&] {
            std::string s;
            for (char c : part.body) {
                if (c != '\r' && c != '\n') s += c;
            }
            return s;
        }();
        const auto bytes = mailcore::Base64DecodeBytes(joined, (joined.size() / 4 * 4 + 2) / 3 * 3);
        std::cout << "[attachment " << ForTerminal(mailcore::DecodeHeaderText(name, false, false)) << ", "
                  << (bytes ? bytes->size() : 0) << " bytes]\n";
        return;
    }
    std::cout << ForTerminal(DecodeBody(part.body, encoding, charset));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: mailcore-decode MAIL-FILE\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::cerr << "mailcore-decode: cannot open " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream content;
    content << file.rdbuf();
    const Entity mail = mailcore_decode::SplitEntity(content.str());

    for (const char* name : {"Subject", "From", "To", "Date"}) {
        const std::string value = FieldValue(mail, name);
        std::cout << name << ": " << ForTerminal(mailcore::DecodeHeaderText(value, false, true)) << "\n";
    }
    std::cout << "\n";

    const std::string type = FieldValue(mail, "Content-Type");
    const std::string boundary = Parameter(type, "boundary");
    if (!Lower(type).starts_with("multipart/") || boundary.empty()) {
        PrintPart(mail, 1, type, Lower(FieldValue(mail, "Content-Transfer-Encoding")));
        return 0;
    }
    size_t number = 0;
    for (const Entity& part : mailcore_decode::SplitMultipart(mail.body, boundary)) {
        PrintPart(part, ++number, FieldValue(part, "Content-Type"),
                  Lower(FieldValue(part, "Content-Transfer-Encoding")));
    }
    return 0;
}
