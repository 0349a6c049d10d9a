#include "smtp/attachment_check.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "mailcore/unique_fd.h"
#include "smtp/file_type.h"

namespace outlark {

bool AttachmentReadable(const std::string& path, bool utf8) {
    if (path.empty()) return false;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    mailcore::UniqueFd fd(
        ::open(NativePath(path, utf8).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    return fd && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
}

const std::string* FirstUnreadableAttachment(const std::vector<std::string>& paths, bool utf8) {
    for (const std::string& path : paths) {
        if (!AttachmentReadable(path, utf8)) return &path;
    }
    return nullptr;
}

}  // namespace outlark
