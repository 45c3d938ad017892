#include "ConfigFileMode.h"

#include <sys/stat.h>

#include "LogCategories.h"

namespace zorvel {

namespace {

// The path as a shell reads it back, for a command to copy: quoted when it holds
// anything beyond the plain characters of a path.
std::string ShellWord(const std::string& path)
{
    bool plain = !path.empty();
    for (unsigned char c : path)
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                          || std::string_view("/._+,:@%=-").find(char(c)) != std::string_view::npos);
    if (plain)
        return path;
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

void WarnIfOpenToOthers(const std::string& path, const char* what)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return;
    const bool readable = info.st_mode & (S_IRGRP | S_IROTH);
    const bool writable = info.st_mode & (S_IWGRP | S_IWOTH);
    if (!readable && !writable)
        return;
    const char* how = readable && writable ? "read and changed" : readable ? "read" : "changed";
    qCWarning(lcConfig, "%s can be %s by other users (mode %04o), and it holds %s: chmod 600 %s",
              path.c_str(), how, unsigned(info.st_mode & 07777), what, ShellWord(path).c_str());
}

void WarnIfFolderOpenToOthers(const std::string& path, const char* what)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !(info.st_mode & S_IWOTH))
        return;
    qCWarning(lcConfig, "%s can be changed by other users (mode %04o), and it holds %s: chmod o-w %s",
              path.c_str(), unsigned(info.st_mode & 07777), what, ShellWord(path).c_str());
}
void WarnIfStoreOpenToOthers(const std::string& folder)
{
    WarnIfOpenToOthers(folder + "/zorvel.sqlite", "the messages not yet delivered");
    WarnIfFolderOpenToOthers(folder, "the store");
}

} // namespace zorvel
