#include "pop3/attachment_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "mailcore/base64.h"
#include "mailcore/mime_codecs.h"
#include "mailcore/quoted_printable.h"
#include "mailcore/uudecode.h"
#include "mailcore/wide_text.h"
#include "pop3/text_lines.h"

namespace inlark {
namespace {

// Lines that end uuencoded data: "end...", and the zero-count lines ("`", "` ", " " or empty).
bool IsUuEndLine(std::string_view line) {
    return line.starts_with("end") || line == "`" || line == "` " || line == " " || line.empty();
}

std::optional<mailcore::Bytes> DecodeUuLines(std::string_view data, bool end_known) {
    std::size_t pos = 0;
    bool end_seen = false;
    while (pos < data.size()) {
        std::size_t e = FindCrLf(data, pos);
        std::string_view line = data.substr(pos, (e == kNoPos ? data.size() : e) - pos);
        if (IsUuEndLine(line)) {
            end_seen = true;
            break;
        }
        pos = e == kNoPos ? data.size() : e + 2;
    }
    if (!end_seen && !end_known) return std::nullopt;
    const std::size_t stop = std::min(pos, data.size());
    if (stop == 0) return mailcore::Bytes{};
    return mailcore::UuDecode(data.substr(0, stop), stop);
}

// Groups of four are independent, so the data is decoded in slices of whole groups without CR LF pairs
// instead of one stripped copy of the whole attachment.
mailcore::Bytes DecodeBase64Data(std::string_view data) {
    constexpr std::size_t kSlice = 48 * 1024;  // a multiple of 12: whole groups, a length divisible by 3
    mailcore::Bytes out;
    out.reserve(data.size() / 4 * 3 + 3);
    std::string slice;
    slice.reserve(kSlice);
    auto flush = [&](std::size_t length) {
        if (length == 0) return;
        if (auto bytes = mailcore::Base64DecodeBytes(slice, length))
            out.insert(out.end(), bytes->begin(), bytes->end());
    };
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t e = data.find("\r\n", pos);
        std::size_t stop = e == kNoPos ? data.size() : e;
        while (pos < stop) {
            std::size_t take = std::min(stop - pos, kSlice - slice.size());
            slice.append(data.substr(pos, take));
            pos += take;
            if (slice.size() == kSlice) {
                flush(kSlice);
                slice.clear();
            }
        }
        pos = e == kNoPos ? data.size() : e + 2;
    }
    const std::size_t groups = slice.size() / 4;
    flush(groups * 4 + (3 - groups % 3) % 3);
    return out;
}

// Start of the line after the first line beginning with "begin" or "BEGIN".
std::size_t AfterBeginLine(std::string_view data) {
    std::size_t pos = 0;
    while (pos < data.size() && !StartsWith(data, pos, "begin") && !StartsWith(data, pos, "BEGIN")) {
        pos = NextLine(data, pos);
    }
    return pos < data.size() ? NextLine(data, pos) : data.size();
}

bool WriteAll(int fd, const mailcore::Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class TempFile {
  public:
    explicit TempFile(std::string path_template) : path_(std::move(path_template)) {
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0) path_.clear();
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void Release() { path_.clear(); }  // the file now lives under its final name

  private:
    std::string path_;
    int fd_ = -1;
};

std::string NumberedName(const std::string& name, int n) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + "-" + std::to_string(n);
    return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}

// Attachments of the reading by today's standards: RFC 2045 decoding, zero bytes kept.
std::optional<mailcore::Bytes> DecodeStandard(std::string_view data, const Attachment& a) {
    auto bytes = [](const std::string& s) { return mailcore::Bytes(s.begin(), s.end()); };
    switch (a.transfer_encoding) {
        case kEncodingBase64:
            return mailcore::Base64DecodeStandardBytes(data);
        case kEncodingQuotedPrintable:
            return bytes(mailcore::QpDecodeStandard(data, false));
        case kEncodingUuencode:
            // A part sent as x-uuencode still has its begin line; a file found in a text part starts after
            // it.
            if (data.starts_with("begin")) return DecodeUuLines(data.substr(AfterBeginLine(data)), false);
            return DecodeUuLines(data, a.uu_end_seen);
        default:
            return mailcore::Bytes(data.begin(), data.end());
    }
}

}  // namespace

std::optional<mailcore::Bytes> DecodeAttachment(const MessageRecord& record, const Attachment& a) {
    const std::string_view data = record.AttachmentData(a);
    if (record.utf8) return DecodeStandard(data, a);
    if (record.uuencoded) return DecodeUuLines(data, a.uu_end_seen);
    switch (a.transfer_encoding) {
        case kEncodingNone:
            return mailcore::Bytes(data.begin(), data.end());
        case kEncodingQuotedPrintable:
            return mailcore::QpDecodeBytes(data, data.size());
        default:
            if (data.starts_with("begin") || data.starts_with("BEGIN")) {
                return DecodeUuLines(data.substr(AfterBeginLine(data)), false);
            }
            return DecodeBase64Data(data);
    }
}

std::string SafeAttachmentFileName(std::string_view sjis_name, bool utf8) {
    std::string name = utf8 ? std::string(sjis_name) : mailcore::Cp932ToUtf8(sjis_name);
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    for (char& c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '_';
    }
    std::size_t first = name.find_first_not_of('.');
    name.erase(0, first == std::string::npos ? name.size() : first);
    if (name.size() > 255) {
        std::size_t cut = 255;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;  // keep whole characters
        name.resize(cut);
    }
    return name.empty() ? "noname" : name;
}

std::optional<std::string> WriteFileInDirectory(const std::string& directory, const std::string& file_name,
                                                const mailcore::Bytes& bytes, ExistingFile existing) {
    std::string dir = directory.empty() ? "." : directory;
    if (dir.back() != '/') dir += '/';
    TempFile temp(dir + ".inlark-XXXXXX");
    if (!temp.Ok()) return std::nullopt;
    if (::fchmod(temp.Fd(), 0644) != 0 || !WriteAll(temp.Fd(), bytes) || !temp.Close()) return std::nullopt;

    if (existing == ExistingFile::kReplace) {
        // rename() replaces a symbolic link at the target name instead of writing through it.
        std::string target = dir + file_name;
        if (::rename(temp.Path().c_str(), target.c_str()) != 0) return std::nullopt;
        temp.Release();
        return target;
    }
    for (int n = 1; n < 10000; ++n) {
        std::string target = dir + (n == 1 ? file_name : NumberedName(file_name, n));
        // link() never replaces anything, so a file (or link) of that name stays untouched.
        if (::link(temp.Path().c_str(), target.c_str()) == 0) return target;  // the temporary name goes
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace inlark
