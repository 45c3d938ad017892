#include "FolderLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zorvel {

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FolderLock::Outcome FolderLock::take(const std::string& folder)
{
    if (fd_ >= 0)
        return Outcome::Held;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return Outcome::Failed;
    }
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int reason = errno;
        ::close(fd);
        if (reason == EWOULDBLOCK)
            return Outcome::Taken;
        error_ = std::strerror(reason);
        return Outcome::Failed;
    }
    fd_ = fd;
    error_.clear();
    return Outcome::Held;
}

} // namespace zorvel
