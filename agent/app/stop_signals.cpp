#include "agent/app/stop_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace mirelo {
namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
    fd_ = mailcore::UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

StopSignals::~StopSignals() {
    if (fd_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::Drain() {
    signalfd_siginfo info;
    while (::read(fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
}

}  // namespace mirelo
