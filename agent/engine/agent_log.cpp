#include "agent/engine/agent_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "agent/config/unique_fd.h"
#include "mailcore/wide_text.h"

namespace mirelo {

QString LogDateTime(const QDateTime& when) { return when.toString(QStringLiteral("yyyy/MM/dd H:mm:ss")); }

std::string FormatLogLine(const QString& message, const QDateTime& when) {
    std::string line = mailcore::WideToCp932((message + u' ' + LogDateTime(when)).toStdU16String());
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

    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid()) return;
    // One write() per line: with O_APPEND the kernel places it whole at the end, so lines of two
    // processes never mix. A short or failed write loses the line, as the log promises nothing more.
    ssize_t written;
    do {
        written = ::write(fd.get(), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
}

}  // namespace mirelo
