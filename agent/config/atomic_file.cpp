#include "agent/config/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "mailcore/unique_fd.h"

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

// A temporary file has no permission bits until its content is complete, so a file without any is what a
// save killed halfway left behind; nobody gives a file of their own such a mode, which keeps a look-alike
// such as "Mirelo.ini.backup" safe. One younger than a minute may be another copy of the agent saving.
constexpr mode_t kUnfinishedMode = 0;
constexpr std::time_t kLeftoverAge = 60;

// `base` + "." + the six characters mkostemp puts in place of "XXXXXX".
bool IsTemporaryName(std::string_view name, std::string_view base) {
    if (name.size() != base.size() + 7 || !name.starts_with(base) || name[base.size()] != '.') return false;
    return std::all_of(name.end() - 6, name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

// Best effort: a leftover that cannot be removed does not stop the save.
void RemoveLeftovers(const std::string& path) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(FolderOf(path).c_str()), ::closedir);
    if (!folder) return;
    const std::string base = path.substr(path.rfind('/') + 1);
    const std::time_t stale = std::time(nullptr) - kLeftoverAge;
    while (const dirent* entry = ::readdir(folder.get())) {
        struct stat st {};
        if (!IsTemporaryName(entry->d_name, base) ||
            ::fstatat(::dirfd(folder.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(st.st_mode) && (st.st_mode & 07777) == kUnfinishedMode && st.st_mtime < stale)
            ::unlinkat(::dirfd(folder.get()), entry->d_name, 0);
    }
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
    mailcore::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
    RemoveLeftovers(path);
    std::string pattern = path + ".XXXXXX";
    mailcore::UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0) return Failure("cannot create a temporary file for", path, errno);
    TemporaryFile temp(pattern);

    if (::fchmod(fd.get(), kUnfinishedMode) != 0)
        return Failure("cannot set the mode of", temp.path(), errno);
    if (!WriteAll(fd.get(), bytes)) return Failure("cannot write", temp.path(), errno);
    if (::fchmod(fd.get(), mode) != 0) return Failure("cannot set the mode of", temp.path(), errno);
    if (::fsync(fd.get()) != 0) return Failure("cannot flush", temp.path(), errno);
    if (fd.Close() != 0) return Failure("cannot close", temp.path(), errno);
    if (::rename(temp.path().c_str(), path.c_str()) != 0) return Failure("cannot replace", path, errno);
    temp.Release();

    // Makes the rename itself durable; the new file is already in place, so a failure here is harmless.
    mailcore::UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return {};
}

}  // namespace mirelo
