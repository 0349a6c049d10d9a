#include "testing/mail_servers_env/japanese_message.h"

#include <iconv.h>

#include <algorithm>

namespace mirelo::mail_servers {
namespace {

class Iconv {
  public:
    Iconv() : cd_(iconv_open("ISO-2022-JP", "UTF-8")) {}
    ~Iconv() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    std::string Convert(const std::string& in) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return {};
        std::string out(in.size() * 4 + 16, '\0');
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = out.data();
        size_t dstLeft = out.size();
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) return {};
        // The closing shift back to ASCII.
        if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) return {};
        out.resize(out.size() - dstLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

std::string Base64(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace

std::string ToIso2022Jp(const std::string& utf8) { return Iconv().Convert(utf8); }

std::string EncodedWord(const std::string& utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return utf8;
    return "=?ISO-2022-JP?B?" + Base64(ToIso2022Jp(utf8)) + "?=";
}

std::string JapaneseMessage(const std::string& from, const std::string& to, const std::string& subjectUtf8,
                            const std::string& bodyUtf8) {
    return "From: " + from + "\nTo: " + to + "\nSubject: " + EncodedWord(subjectUtf8) +
           "\nDate: Mon, 7 Dec 2026 09:05:03 +0900\nMIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit\n\n" +
           ToIso2022Jp(bodyUtf8);
}

}  // namespace mirelo::mail_servers
