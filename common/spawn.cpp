#include "spawn.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace proc {

namespace {

// Forks a child, in a session of its own, that runs args: itself, or when
// detached a grandchild while the child ends at once.  Everything the child
// needs is made before the fork.  A failed exec writes its errno to the
// pipe whose read end is left in readFd; a successful one closes it.  The
// child, or -1 when none could be made.
pid_t StartChild(const std::vector<std::string>& args, bool detached, int& readFd) {
    std::vector<std::string> own = args;
    std::vector<char*> argv;
    for (std::string& a : own) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::setsid();
        if (detached) {
            pid_t grandchild = ::fork();
            if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        }
        ::execvp(argv[0], argv.data());
        int err = errno;
        ssize_t ignored = ::write(fds[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(fds[1]);
    readFd = fds[0];
    return child;
}

// Reads the pipe of StartChild until it closes: 0 when the exec closed it,
// more when it brought the reason the exec failed.
ssize_t ReadExecResult(int fd) {
    int err = 0;
    ssize_t n;
    while ((n = ::read(fd, &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return n;
}

void WaitFor(pid_t child, int& status) {
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

// The intermediate child forks the program and ends at once, so no child
// is left to wait for; a pipe closed by a successful exec tells whether
// the program started.
bool SpawnDetached(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty()) return false;
    int readFd = -1;
    const pid_t child = StartChild(args, true, readFd);
    if (child < 0) return false;
    int status = 0;
    WaitFor(child, status);
    // Nothing read: the pipe closed at a successful exec.
    const ssize_t n = ReadExecResult(readFd);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

bool RunAndWait(const std::vector<std::string>& args, int waitMs) {
    if (args.empty() || args[0].empty()) return false;
    int readFd = -1;
    const pid_t child = StartChild(args, false, readFd);
    if (child < 0) return false;
    // The pipe closes at the exec, or brings the reason it failed.
    const ssize_t n = ReadExecResult(readFd);
    int status = 0;
    auto reaped = [&] {
        pid_t r;
        while ((r = ::waitpid(child, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        return r == child;
    };
    if (n > 0) {
        WaitFor(child, status);
        return false;
    }
    // Woken when the child ends (a pidfd), else checked every few
    // milliseconds; never past the bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
#ifdef SYS_pidfd_open
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#else
    const int pidfd = -1;
#endif
    bool ended = reaped();
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
        }
        ended = reaped();
    }
    if (pidfd >= 0) ::close(pidfd);
    if (!ended) {
        // Still at work: someone must reap it when it ends.
        std::thread([child] {
            int st;
            while (::waitpid(child, &st, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return true;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace proc
