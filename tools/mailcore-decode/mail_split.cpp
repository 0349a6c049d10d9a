#include "tools/mailcore-decode/mail_split.h"

#include <cctype>

namespace mailcore_decode {
namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

}  // namespace

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

Entity SplitEntity(std::string_view text) {
    Entity entity;
    const std::vector<std::string> lines = Lines(text);
    size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string& line = lines[i];
        if ((line[0] == ' ' || line[0] == '\t') && !entity.fields.empty()) {
            entity.fields.back().value += "\r\n" + line;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        size_t start = colon + 1;
        if (start < line.size() && line[start] == ' ') ++start;
        entity.fields.push_back({line.substr(0, colon), line.substr(start)});
    }
    for (++i; i < lines.size(); ++i) entity.body += lines[i] + "\r\n";
    return entity;
}

std::string FieldValue(const Entity& entity, std::string_view name) {
    for (const Field& f : entity.fields) {
        if (Lower(f.name) == Lower(name)) return f.value;
    }
    return {};
}

std::string Parameter(std::string_view value, std::string_view name) {
    const std::string lower = Lower(value);
    const std::string key = Lower(name) + "=";
    for (size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
        if (at != 0 && lower[at - 1] != ';' && lower[at - 1] != ' ' && lower[at - 1] != '\t' &&
            lower[at - 1] != '\n') {
            continue;
        }
        std::string_view rest = value.substr(at + key.size());
        if (!rest.empty() && rest[0] == '"') return std::string(rest.substr(1, rest.find('"', 1) - 1));
        return Trim(rest.substr(0, rest.find_first_of(";\r\n")));
    }
    return {};
}

std::vector<Entity> SplitMultipart(std::string_view body, std::string_view boundary) {
    std::vector<Entity> parts;
    const std::string delimiter = "--" + std::string(boundary);
    std::string current;
    bool inside = false;
    for (const std::string& line : Lines(body)) {
        if (line.starts_with(delimiter)) {
            if (inside) parts.push_back(SplitEntity(current));
            current.clear();
            inside = line.compare(delimiter.size(), 2, "--") != 0;
            if (!inside) break;
            continue;
        }
        if (inside) current += line + "\r\n";
    }
    if (inside) parts.push_back(SplitEntity(current));
    return parts;
}

}  // namespace mailcore_decode
