#include "testing/mail_servers_env/maildir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

namespace mirelo::mail_servers {
namespace fs = std::filesystem;
namespace {

std::size_t CountFiles(const fs::path& dir) {
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) ++n;
    }
    return n;
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

std::string UniqueName() {
    // time.Mpid_random.host: unique across processes and within one, as Maildir names must be.
    std::random_device random;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    return std::to_string(micros / 1000000) + ".M" + std::to_string(micros % 1000000) + "P" +
           std::to_string(::getpid()) + "R" + std::to_string(random()) + ".mirelo-tests";
}

}  // namespace

std::size_t CountMessages(const std::string& maildir) {
    return CountFiles(fs::path(maildir) / "new") + CountFiles(fs::path(maildir) / "cur");
}

std::string WaitForMessages(const std::string& maildir, std::size_t count,
                            std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t have = CountMessages(maildir);
        if (have >= count) return {};
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::to_string(have) + " of " + std::to_string(count) + " messages arrived in " + maildir +
                   " within " + std::to_string(timeout.count()) + " ms (see the Postfix log)";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string EmptyMaildir(const std::string& maildir) {
    for (const char* sub : {"new", "cur", "tmp"}) {
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(maildir) / sub, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code removeError;
            fs::remove(it->path(), removeError);
            if (removeError) return "cannot remove " + it->path().string() + ": " + removeError.message();
        }
        if (ec) return "cannot list " + (fs::path(maildir) / sub).string() + ": " + ec.message();
    }
    return {};
}

std::string DropMessage(const std::string& maildir, const std::string& message) {
    struct stat owner {};
    if (::stat(maildir.c_str(), &owner) != 0) return Errno("stat " + maildir);
    const std::string name = UniqueName();
    const std::string tmp = maildir + "/tmp/" + name;
    const std::string dest = maildir + "/new/" + name;

    std::string lf;
    lf.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
        lf += message[i];
    }

    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) return Errno("create " + tmp);
    size_t done = 0;
    while (done < lf.size()) {
        const ssize_t n = ::write(fd.get(), lf.data() + done, lf.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string error = Errno("write " + tmp);
            ::unlink(tmp.c_str());
            return error;
        }
        done += static_cast<size_t>(n);
    }
    // Dovecot runs as the Maildir's owner and must be able to read what root wrote.
    if (::fchown(fd.get(), owner.st_uid, owner.st_gid) != 0) {
        std::string error = Errno("chown " + tmp);
        ::unlink(tmp.c_str());
        return error;
    }
    if (::close(fd.release()) != 0) {
        std::string error = Errno("close " + tmp);
        ::unlink(tmp.c_str());
        return error;
    }
    if (::rename(tmp.c_str(), dest.c_str()) != 0) {
        std::string error = Errno("rename into " + dest);
        ::unlink(tmp.c_str());
        return error;
    }
    return {};
}

}  // namespace mirelo::mail_servers
