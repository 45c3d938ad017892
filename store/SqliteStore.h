#pragma once
// The local store in the file zorvel.sqlite of the working folder (see LocalStore.h and
// the schema in StoreSchema.cpp).
#include <cstdint>
#include <memory>
#include <string>

#include "FolderLock.h"
#include "LocalStore.h"

namespace zorvel {

class SqliteStore;
struct StoreFile;
struct StoreSession;

struct StoreOpening {
    enum class Outcome {
        Ready,      // reads and writes work
        Unwritable, // every write fails for now and opens the file again first, so writing
                    // resumes by itself once it works; what the file holds can be read
        Fatal,      // damaged, from a newer Zorvel or another program's: left as it is
        InUse,      // another Zorvel holds the folder
    };
    Outcome outcome = Outcome::Fatal;
    std::unique_ptr<SqliteStore> store; // Ready and Unwritable
    std::string text;                   // Unwritable, Fatal, InUse: one sentence naming the file
};

class SqliteStore final : public LocalStore {
public:
    // Takes the folder's lock (held while the store lives), then opens or creates the file.
    static StoreOpening open(const std::string& folder);
    // For listing only, beside a running gateway: no lock, nothing created; every write
    // fails. Ready when the file can be read; Unwritable here means there is nothing to
    // read (no file, or unreadable: text says which).
    static StoreOpening openForReading(const std::string& folder);

    ~SqliteStore() override;

    const std::string& path() const { return path_; }

    const std::string& problem() const override { return problem_; }
    bool holdsEntry(const std::string& content) override;
    bool keep(const Intake& intake, std::int64_t nowMs) override;
    bool entriesDeleted(const std::vector<std::string>& contents) override;
    std::vector<StoredPart> parts() override;
    bool join(const NewMessage& message, std::int64_t receivedMs,
              const std::vector<std::int64_t>& partIds) override;
    std::vector<WaitingMessage> waiting(std::size_t limit) override;
    int waitingCount() override;
    bool delivered(const std::string& id, int status, std::int64_t nowMs) override;
    bool refused(const std::string& id, const std::string& failure, std::int64_t nextTryMs) override;
    bool purge(std::int64_t nowMs, const std::optional<std::vector<std::string>>& stillListed) override;
    void catchUp() override;

private:
    class Write;

    SqliteStore(std::string folder, bool forListing);
    // Takes the session of a file just opened: Ready or Unwritable (with `text` saying
    // why), or Fatal.
    StoreOpening::Outcome adopt(StoreFile& file, std::string& text);
    // Before a write: the file open for writing, opening it again if it was not.
    bool writable();
    bool readable() const { return session_ != nullptr; }
    // Notes the connection's error as the reason a read failed, and gives `empty`.
    template <typename Result>
    Result readFailed(Result empty);
    std::string inUseText() const;
    std::string lockFailedText() const;

    std::string folder_;
    std::string path_;
    bool forListing_;
    FolderLock lock_;
    std::unique_ptr<StoreSession> session_;
    bool sessionWritable_ = false;
    std::string problem_;
    int count_ = 0; // waitingCount()'s last answer
    bool countStale_ = true;
    bool checkpointOwed_ = false; // a text accepted may still be in the write-ahead log
};

} // namespace zorvel
