#include "outlark/send_record.h"

#include <exception>

#include "smtp/send_log.h"
#include "smtp/utf8_fields.h"

namespace outlark {

mailcore::Result<void> AppendSendRecord(const std::string& logFile, const SendLogEntry& entry) {
    try {
        FieldConverter cp932;
        SendRecord record{entry.status,
                          cp932(entry.server, "server"),
                          cp932(entry.to, "To"),
                          cp932(entry.from, "From"),
                          cp932(entry.subject, "Subject"),
                          cp932(entry.body, "body"),
                          cp932(entry.filename, "attachment path"),
                          entry.port,
                          entry.type,
                          entry.encode == 1 ? 2 : 0,  // the stored form
                          entry.header8bit,
                          entry.width,
                          entry.sendTimeout,
                          entry.recvTimeout,
                          entry.sync};
        if (!WriteSendRecord(cp932(logFile, "log file name"), record)) {
            return mailcore::Failure{mailcore::FailureKind::Io,
                                     0,
                                     {},
                                     "the send log " + logFile + " could not be opened, locked or written"};
        }
        return {};
    } catch (const std::exception& e) {
        return mailcore::Failure{
            mailcore::FailureKind::Internal, 0, {}, std::string("send log: ") + e.what()};
    }
}

}  // namespace outlark
