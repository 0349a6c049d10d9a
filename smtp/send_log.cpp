#include "smtp/send_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "mailcore/unique_fd.h"
#include "smtp/file_lock.h"
#include "smtp/file_type.h"

namespace outlark {
namespace {

constexpr const char* kSuccess = "\x90\xac\x8c\xf7";  // "成功" in Shift_JIS

// Line breaks stored as CR LF, as a text-mode stream on the original platform writes them.
void AppendText(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
}

void AppendField(std::string& out, const char* label, std::string_view value) {
    out += label;
    out += ":\r\n  ";
    AppendText(out, value);
    out += "\r\n";
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::string FormatSendRecord(const SendRecord& r, std::time_t now, int millisecond) {
    std::tm local{};
    localtime_r(&now, &local);
    char line[160];
    std::snprintf(line, sizeof line, "%04d/%02d/%02d %02d:%02d:%02d.%03d\r\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millisecond);
    std::string out = line;
    out += "Status:\r\n  ";
    if (r.status == 1) {
        out += kSuccess;
    } else {
        out += std::to_string(r.status);
    }
    std::snprintf(line, sizeof line, " (P=%d, T=%d, E=%d, H=%d, W=%d, ST=%d, RT=%d, S=%d)\r\n", r.port,
                  r.type, r.encode, r.header8bit, r.width, r.send_timeout, r.recv_timeout, r.sync);
    out += line;
    AppendField(out, "Server", r.server);
    AppendField(out, "To", r.to);
    AppendField(out, "From", r.from);
    AppendField(out, "Subject", r.subject);
    AppendField(out, "Body", r.body);
    AppendField(out, "Filename", r.filename);
    out += "\r\n";
    return out;
}

bool WriteSendRecord(const std::string& log_filename, const SendRecord& record,
                     std::chrono::milliseconds lock_wait) {
    if (log_filename.empty()) return true;
    mailcore::UniqueFd fd(
        ::open(NativePath(log_filename).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd) return false;
    // The log file itself is the lock: whoever may write the log may lock it, whatever user came first.
    FileLock lock(fd.get(), lock_wait);
    if (!lock.owns()) return false;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::string bytes = FormatSendRecord(record, now.tv_sec, static_cast<int>(now.tv_nsec / 1000000));
    return WriteAll(fd.get(), bytes);
}

}  // namespace outlark
