#pragma once
// The store's claim on its folder: an exclusive flock on the folder itself, so that a
// second Zorvel on the same folder is told so instead of writing the same store. It works
// on a read-only folder too, and the kernel drops it when the process ends, however it
// ends.
#include <string>

namespace zorvel {

class FolderLock {
public:
    enum class Outcome { Held, Taken, Failed };

    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    // Taken: another process (or another lock in this one) holds it. Failed: the folder
    // cannot be opened; error() says why.
    Outcome take(const std::string& folder);
    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

} // namespace zorvel
