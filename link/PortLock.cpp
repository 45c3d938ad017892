#include "PortLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zorvel {

namespace {

constexpr long kLargestPid = 4194304;

// Where QSerialPort and the older tools put their locks, in QSerialPort's order.
const char* const kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                    "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

// The first bytes of a regular file. Anyone may put a file in /tmp: a FIFO there would
// block an open without O_NONBLOCK, a link could lead anywhere.
std::optional<std::string> ReadSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::optional<std::string> content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n >= 0)
            content = std::string(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

bool ProcessExists(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

std::string LockFileName(const std::string& device)
{
    std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

std::optional<long> LockHolder(std::string_view content)
{
    std::size_t i = 0;
    while (i < content.size() && content[i] == ' ')
        ++i;
    long pid = 0;
    const std::size_t first = i;
    for (; i < content.size() && content[i] >= '0' && content[i] <= '9'; ++i) {
        pid = pid * 10 + (content[i] - '0');
        if (pid > kLargestPid)
            return std::nullopt;
    }
    if (i == first || pid < 1 || (i < content.size() && content[i] != '\n'))
        return std::nullopt;
    return pid;
}

std::optional<long> FindLockHolder(const std::string& device)
{
    std::vector<std::string> names{LockFileName(device)};
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(device, ec);
    if (!ec && target != device)
        names.push_back(LockFileName(target.string()));

    std::vector<std::string> folders(std::begin(kLockFolders), std::end(kLockFolders));
    if (const char* temp = std::getenv("TMPDIR"); temp && *temp)
        folders.emplace_back(temp);
    for (const std::string& name : names) {
        for (const std::string& folder : folders) {
            const std::optional<std::string> content = ReadSmallFile(folder + "/" + name);
            if (!content)
                continue;
            if (const std::optional<long> pid = LockHolder(*content); pid && ProcessExists(*pid))
                return pid;
        }
    }
    return std::nullopt;
}

} // namespace zorvel
