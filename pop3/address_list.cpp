#include "pop3/address_list.h"

#include <string>

#include "mailcore/header_text.h"

namespace inlark {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trimmed(std::string s) {
    std::size_t a = 0;
    while (a < s.size() && IsBlank(s[a])) ++a;
    std::size_t b = s.size();
    while (b > a && IsBlank(s[b - 1])) --b;
    return s.substr(a, b - a);
}

// One mailbox being read: its phrase (display name or bare address, as written), an angle address, and the
// last comment.
struct Mailbox {
    std::string phrase;
    std::string angle;
    bool has_angle = false;
    std::string comment;

    void AddWord(std::string_view w, bool blank_before) {
        if (!phrase.empty() && blank_before) phrase += ' ';
        phrase += w;
    }
    bool Empty() const { return phrase.empty() && !has_angle && comment.empty(); }
};

void Finish(Mailbox& m, std::vector<AddressEntry>& out) {
    if (!m.Empty()) {
        AddressEntry e;
        if (m.has_angle) {
            e.address = Trimmed(m.angle);
            e.nick_name = Trimmed(mailcore::DecodeHeaderUtf8(m.phrase));
            if (e.nick_name.empty()) e.nick_name = Trimmed(mailcore::DecodeHeaderUtf8(m.comment));
        } else {
            // A bare address: its words join without the blanks between them.
            for (char c : m.phrase) {
                if (!IsBlank(c)) e.address += c;
            }
            e.nick_name = Trimmed(mailcore::DecodeHeaderUtf8(m.comment));
        }
        if (!e.address.empty() || !e.nick_name.empty()) out.push_back(std::move(e));
    }
    m = Mailbox{};
}

}  // namespace

std::vector<AddressEntry> ParseAddressList(std::string_view raw) {
    const std::string unfolded = mailcore::UnfoldHeader(raw);
    const std::string_view v = unfolded;
    std::vector<AddressEntry> out;
    Mailbox m;
    bool blank = false;
    for (std::size_t i = 0; i < v.size();) {
        const char c = v[i];
        if (IsBlank(c)) {
            blank = true;
            ++i;
            continue;
        }
        if (c == '"') {
            std::string q;
            ++i;
            while (i < v.size() && v[i] != '"') {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                q += v[i++];
            }
            ++i;
            if (!m.has_angle) m.AddWord(q, blank);  // after the angle address only a comment belongs
        } else if (c == '(') {
            int depth = 1;
            std::string comment;
            ++i;
            while (i < v.size() && depth > 0) {
                if (v[i] == '\\' && i + 1 < v.size()) {
                    comment += v[i + 1];
                    i += 2;
                    continue;
                }
                if (v[i] == '(') ++depth;
                if (v[i] == ')' && --depth == 0) break;
                comment += v[i++];
            }
            ++i;
            if (!Trimmed(comment).empty()) m.comment = comment;
        } else if (c == '<') {
            const std::size_t close = v.find('>', i);
            const std::size_t end = close == std::string_view::npos ? v.size() : close;
            m.angle = std::string(v.substr(i + 1, end - i - 1));
            m.has_angle = true;
            i = end + 1;
        } else if (c == ',') {
            Finish(m, out);
            ++i;
        } else if (c == ';') {
            Finish(m, out);
            ++i;
        } else if (c == ':' && !m.has_angle) {
            m = Mailbox{};  // a group's name
            ++i;
        } else {
            const std::size_t stop = v.find_first_of(" \t\r\n\"(<,;:", i);
            // A ":" inside an angle address lands here too; it is taken as one character of the word.
            std::size_t end = stop == std::string_view::npos ? v.size() : stop;
            if (end == i) ++end;
            if (!m.has_angle) m.AddWord(v.substr(i, end - i), blank);
            i = end;
        }
        blank = false;
    }
    Finish(m, out);
    return out;
}

}  // namespace inlark
