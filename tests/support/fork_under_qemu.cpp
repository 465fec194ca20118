// Preloaded (LD_PRELOAD) into the tests when they run under qemu-user, as scripts/test-arm64.sh runs the
// arm64 build. qemu-user 7.2 refuses clone() with CLONE_PIDFD (EINVAL) but passes waitid(P_PIDFD) on to the
// kernel, so Qt takes the kernel's word that it can start a process with a pidfd and every QProcess::start()
// then fails. Answering that waitid() knows no P_PIDFD, as a kernel before 5.4 does, makes Qt start processes
// with fork(). Qt asks through syscall(); the programs under test start none themselves.
#include <dlfcn.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdarg>

extern "C" long syscall(long number, ...)
{
    // As libc's own syscall() does: six machine words, of which the call uses as many as it has.
    long args[6];
    va_list list;
    va_start(list, number);
    for (long &arg : args)
        arg = va_arg(list, long);
    va_end(list);

    constexpr int PidFd = 3; // P_PIDFD, newer than this libc's headers
    if (number == SYS_waitid && int(args[0]) == PidFd) {
        errno = EINVAL;
        return -1;
    }
    using Syscall = long (*)(long, ...);
    static const auto next = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, args[0], args[1], args[2], args[3], args[4], args[5]);
}
