#include "child.h"

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

int inChild(const std::function<bool()> &restrict, const std::function<int()> &body) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (!restrict()) ::_exit(254);
        ::_exit(body() & 0xff);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool limitFileSize(long bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool becomeNobody() {
    if (::geteuid() != 0) return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

} // namespace testsupport
