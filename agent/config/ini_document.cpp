#include "agent/config/ini_document.h"

#include "agent/config/sjis_codes.h"

namespace mirelo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// ASCII case folding that leaves the trail byte of a double-byte character alone.
std::string FoldCase(std::string_view s) {
    std::string out(s);
    for (std::size_t pos = 0; pos < out.size();) {
        const std::size_t len = SjisCharLength(out, pos);
        if (len == 1 && out[pos] >= 'A' && out[pos] <= 'Z')
            out[pos] = static_cast<char>(out[pos] - 'A' + 'a');
        pos += len;
    }
    return out;
}

// Position of the first single-byte `c`, skipping double-byte characters.
std::size_t FindSjisByte(std::string_view s, char c) {
    for (std::size_t pos = 0; pos < s.size(); pos += SjisCharLength(s, pos)) {
        if (s[pos] == c) return pos;
    }
    return std::string_view::npos;
}

bool IsComment(std::string_view trimmed) {
    return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
}

// Value part of a key line: everything after the first "=", blanks dropped.
std::string_view ValueOf(std::string_view line) { return Trim(line.substr(FindSjisByte(line, '=') + 1)); }

}  // namespace

IniDocument::Line IniDocument::MakeLine(std::string text) {
    Line line{std::move(text), {}, false};
    const std::string_view trimmed = Trim(line.text);
    if (trimmed.empty() || IsComment(trimmed)) return line;
    if (trimmed[0] == '[') {
        std::string_view inner = trimmed.substr(1);
        inner = inner.substr(0, FindSjisByte(inner, ']'));
        line.name = FoldCase(Trim(inner));
        line.is_section = true;
        return line;
    }
    const std::size_t eq = FindSjisByte(trimmed, '=');
    if (eq != std::string_view::npos) line.name = FoldCase(Trim(trimmed.substr(0, eq)));
    return line;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    while (!bytes.empty()) {
        std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
        // Some tools write CR CR LF; both CRs belong to the line end.
        for (int cr = 0; cr < 2 && !line.empty() && line.back() == '\r'; ++cr) line.remove_suffix(1);
        doc.lines_.push_back(MakeLine(std::string(line)));
    }
    return doc;
}

std::optional<std::pair<std::size_t, std::size_t>> IniDocument::FindSection(std::string_view section) const {
    const std::string wanted = FoldCase(Trim(section));
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].is_section || lines_[i].name != wanted) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !lines_[end].is_section) ++end;
        return std::pair{i + 1, end};
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const {
    const auto range = FindSection(section);
    if (!range) return std::nullopt;
    const std::string wanted = FoldCase(Trim(key));
    for (std::size_t i = range->first; i < range->second; ++i) {
        if (!lines_[i].name.empty() && lines_[i].name == wanted) return std::string(ValueOf(lines_[i].text));
    }
    return std::nullopt;
}

void IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    std::string text = std::string(key) + "=" + std::string(value);

    const auto range = FindSection(section);
    if (!range) {
        std::string header(1, '[');  // appended, not concatenated: GCC 12 warns falsely on the latter
        header += section;
        header += ']';
        lines_.push_back(MakeLine(std::move(header)));
        lines_.push_back(MakeLine(std::move(text)));
        return;
    }
    const std::string wanted = FoldCase(Trim(key));
    std::size_t insert_at = range->first;
    for (std::size_t i = range->first; i < range->second; ++i) {
        if (lines_[i].name.empty()) continue;
        if (lines_[i].name == wanted) {
            lines_[i] = MakeLine(std::move(text));
            return;
        }
        insert_at = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), MakeLine(std::move(text)));
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

std::string_view CutToWidth(std::string_view text, std::size_t width) {
    if (text.size() <= width) return text;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = SjisCharLength(text, pos);
        if (pos + len > width) break;
        pos += len;
    }
    return text.substr(0, pos);
}

std::string ReadProfileString(const IniDocument& ini, std::string_view section, std::string_view key,
                              std::string_view defaultText, std::size_t width) {
    const std::optional<std::string> value = ini.Value(section, key);
    return std::string(CutToWidth(value ? std::string_view(*value) : defaultText, width));
}

}  // namespace mirelo
