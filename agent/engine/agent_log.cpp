#include "agent/engine/agent_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "mailcore/unique_fd.h"
#include "mailcore/wide_text.h"

namespace mirelo {

QString LogDateTime(const QDateTime& when) { return when.toString(QStringLiteral("yyyy/MM/dd H:mm:ss")); }

namespace {

// Messages carry values taken from mails (addresses, rejected texts); a line break among them must not be
// able to forge a line of its own.
bool IsControlOrSeparator(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::string FormatLogLine(const QString& message, const QDateTime& when) {
    QString text = message;
    for (QChar& c : text) {
        if (IsControlOrSeparator(c.unicode())) c = u' ';
    }
    std::string line = mailcore::WideToCp932((text + u' ' + LogDateTime(when)).toStdU16String());
    line += "\r\n";
    return line;
}

AgentLog::AgentLog(QString programFolder, const AgentSettings& settings, Clock clock)
    : programFolder_(std::move(programFolder)), settings_(settings), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return QDateTime::currentDateTime(); };
}

QString AgentLog::LogFilePath() const {
    if (settings_.LogFileName.isEmpty()) return {};
    return programFolder_ + u'/' + settings_.LogFileName;
}

void AgentLog::WriteLog(const QString& message) const {
    const QString path = LogFilePath();
    if (path.isEmpty()) return;
    const std::string line = FormatLogLine(message, clock_());

    const mailcore::UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) return;
    // One write() per line: with O_APPEND the kernel places it whole at the end, so lines of two
    // processes never mix. A short or failed write loses the line, as the log promises nothing more.
    ssize_t written;
    do {
        written = ::write(fd.get(), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
}

}  // namespace mirelo
