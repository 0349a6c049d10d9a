#include "smtp/header_encoder.h"

#include <cstdint>

#include "mailcore/base64_encode.h"
#include "mailcore/jis_sjis.h"

namespace outlark {
namespace {

constexpr std::string_view kEnterKanji = "\x1b$B";
constexpr std::string_view kLeaveKanji = "\x1b(B";

// Writes `run` as encoded words, each followed by `spaces` and a fold, and returns the new column.
std::uint32_t WriteEncodedRun(std::string& out, std::string_view run, std::string_view spaces,
                              std::uint32_t width, std::uint32_t column) {
    while (!run.empty()) {
        // Unsigned on purpose: a width too small for the column gives a huge piece, i.e. the rest of the run.
        std::uint32_t n = (3 * width - 3 * column - 75) / 4;
        n -= n % 2;
        if (n == 0 || n > run.size()) n = static_cast<std::uint32_t>(run.size());
        std::string piece;
        piece.reserve(n + kEnterKanji.size() + kLeaveKanji.size());
        piece.append(kEnterKanji).append(run.substr(0, n)).append(kLeaveKanji);
        out += "=?ISO-2022-JP?B?";
        out += mailcore::Base64Encode(piece);
        out += "?=";
        out += spaces;
        out += "\r\n ";
        column = 1;
        run.remove_prefix(n);
    }
    return column;
}

}  // namespace

std::string EncodeHeaderLine(std::string_view line, std::int32_t mode, std::int32_t width) {
    std::string converted = mailcore::SjisToJis(line);
    if (mode != kHeaderEncodedWords) return converted;

    std::string_view in = converted;
    std::string out;
    out.reserve(in.size() * 2);
    std::string run;
    bool in_run = false;
    std::uint32_t column = 0;
    const auto uwidth = static_cast<std::uint32_t>(width);
    for (size_t i = 0; i < in.size();) {
        std::string_view rest = in.substr(i);
        if (rest.starts_with(kEnterKanji)) {
            in_run = true;
            i += kEnterKanji.size();
            continue;
        }
        if (rest.starts_with(kLeaveKanji)) {
            i += kLeaveKanji.size();
            size_t spaces_end = i;
            while (spaces_end < in.size() && in[spaces_end] == ' ') ++spaces_end;
            column = WriteEncodedRun(out, run, in.substr(i, spaces_end - i), uwidth, column);
            run.clear();
            in_run = false;
            continue;
        }
        if (in_run) {
            run.push_back(in[i]);
        } else {
            out.push_back(in[i]);
            ++column;
        }
        ++i;
    }
    // A run the line never closed (an escape the caller typed) is still written, not lost.
    if (!run.empty()) WriteEncodedRun(out, run, {}, uwidth, column);
    // Only the empty continuation a fold leaves; a line that merely ends in a space keeps its CR LF.
    if (out.ends_with("\r\n \r\n")) out.resize(out.size() - 3);
    return out;
}

std::string SingleLineValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size();) {
        char c = value[i];
        if (c != '\r' && c != '\n' && c != '\0') {
            out.push_back(c);
            ++i;
            continue;
        }
        while (i < value.size() && (value[i] == '\r' || value[i] == '\n' || value[i] == '\0')) ++i;
        // The break becomes one space unless blank space already separates the two sides.
        bool blank_before = out.empty() || out.back() == ' ' || out.back() == '\t';
        bool blank_after = i == value.size() || value[i] == ' ' || value[i] == '\t';
        if (!blank_before && !blank_after) out.push_back(' ');
    }
    return out;
}

}  // namespace outlark
