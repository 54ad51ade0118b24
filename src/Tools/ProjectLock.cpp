#include "Tools/ProjectLock.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Base/Path.h"

namespace ZandelleEngine {

namespace {

/* The lock file, opened without following a link: one planted in its place
   is replaced, so the process id is never written elsewhere */
int openLockFile(const std::string& path) {
    for(int attempt = 0; attempt != 10; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR|O_CREAT|O_CLOEXEC|O_NOFOLLOW|O_NONBLOCK, 0644);
        if(fd >= 0 || errno != ELOOP) return fd;
        ::unlink(path.c_str());
    }
    return -1;
}

long readHolder(int fd) {
    char text[32]{};
    const ssize_t size = ::pread(fd, text, sizeof(text) - 1, 0);
    return size > 0 ? std::strtol(text, nullptr, 10) : 0;
}

}

ProjectLock::ProjectLock(std::string_view projectPath, std::chrono::milliseconds wait) {
    _path = Path::followLinks(projectPath).value_or(std::string{projectPath}) + ".lock";
    if((_fd = openLockFile(_path)) < 0) return;
    struct stat info;
    if(::fstat(_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(_fd);
        _fd = -1;
        errno = EINVAL;
        return;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    while(::flock(_fd, LOCK_EX|LOCK_NB) != 0) {
        const int error = errno;
        if((error != EWOULDBLOCK && error != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            _status = error == EWOULDBLOCK ? Status::Busy : Status::Failed;
            _holder = readHolder(_fd);
            ::close(_fd);
            _fd = -1;
            errno = error;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }

    /* A killed holder's id may still be there: ours replaces it */
    const std::string pid = std::to_string(long(::getpid())) + "\n";
    if(::ftruncate(_fd, 0) != 0 || ::pwrite(_fd, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {}
    _status = Status::Locked;
}

ProjectLock::~ProjectLock() {
    if(_fd >= 0) ::close(_fd);
}

}
