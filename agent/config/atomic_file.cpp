#include "agent/config/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "agent/config/unique_fd.h"

namespace mirelo {
namespace {

// Removes the temporary file unless the rename has put it in place.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void Release() { path_.clear(); }

  private:
    std::string path_;
};

FileResult Failure(const char* step, const std::string& path, int error) {
    return {false, std::string(step) + " " + path + ": " + std::strerror(error)};
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

FileContent ReadWholeFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return {};
        return {std::nullopt, Failure("cannot read", path, errno).error};
    }
    std::string bytes;
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return {std::nullopt, Failure("cannot read", path, errno).error};
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return {std::move(bytes), {}};
}

FileResult ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    std::string pattern = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0) return Failure("cannot create a temporary file for", path, errno);
    TemporaryFile temp(pattern);

    if (::fchmod(fd.get(), mode) != 0) return Failure("cannot set the mode of", temp.path(), errno);
    if (!WriteAll(fd.get(), bytes)) return Failure("cannot write", temp.path(), errno);
    if (::fsync(fd.get()) != 0) return Failure("cannot flush", temp.path(), errno);
    if (fd.Close() != 0) return Failure("cannot close", temp.path(), errno);
    if (::rename(temp.path().c_str(), path.c_str()) != 0) return Failure("cannot replace", path, errno);
    temp.Release();

    // Makes the rename itself durable; the new file is already in place, so a failure here is harmless.
    UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return {};
}

}  // namespace mirelo
