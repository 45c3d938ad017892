#include "SqliteStore.h"

#include <limits>
#include <utility>

#include "ByteEscape.h"
#include "EntryDigest.h"
#include "SqliteDatabase.h"
#include "SqliteStoreFile.h"
#include "StoreSession.h"
#include "StoreWrite.h"

namespace zorvel {

namespace {

using Step = SqliteStatement::Step;

// Due at once: among the due ones it goes by its intake.
bool insertMessage(StoreSession& s, const NewMessage& message, std::int64_t receivedMs)
{
    StatementUse use(s.insertMessage);
    s.insertMessage.bindText(1, message.id).bind(2, receivedMs).bindText(3, message.sender)
        .bindText(4, message.stamp).bindText(5, message.text).bind(6, message.parts);
    return s.insertMessage.step() == Step::Done;
}

} // namespace

SqliteStore::SqliteStore(std::string folder, bool forListing)
    : folder_(std::move(folder)), path_(folder_ + "/zorvel.sqlite"), forListing_(forListing)
{
}

SqliteStore::~SqliteStore() = default;

StoreOpening SqliteStore::open(const std::string& folder)
{
    StoreOpening opening;
    std::unique_ptr<SqliteStore> store(new SqliteStore(folder, false));
    const FolderLock::Outcome lock = store->lock_.take(folder);
    if (lock == FolderLock::Outcome::Taken) {
        opening.outcome = StoreOpening::Outcome::InUse;
        opening.text = store->inUseText();
        return opening;
    }
    // Without the lock nothing is written, but what the file holds can be read.
    StoreFile file = OpenStoreFile(store->path_, lock == FolderLock::Outcome::Held);
    opening.outcome = store->adopt(file, opening.text);
    if (opening.outcome == StoreOpening::Outcome::Fatal)
        return opening;
    if (lock == FolderLock::Outcome::Failed)
        opening.text = store->problem_ = store->lockFailedText();
    opening.store = std::move(store);
    return opening;
}

StoreOpening SqliteStore::openForReading(const std::string& folder)
{
    StoreOpening opening;
    std::unique_ptr<SqliteStore> store(new SqliteStore(folder, true));
    StoreFile file = OpenStoreFile(store->path_, false);
    opening.outcome = store->adopt(file, opening.text);
    if (opening.outcome == StoreOpening::Outcome::Fatal)
        return opening;
    // Open for reading is all a listing asks for.
    if (store->session_)
        opening.outcome = StoreOpening::Outcome::Ready;
    opening.store = std::move(store);
    return opening;
}

StoreOpening::Outcome SqliteStore::adopt(StoreFile& file, std::string& text)
{
    session_.reset();
    sessionWritable_ = false;
    countStale_ = true;
    text = file.text;
    if (file.outcome == StoreFile::Outcome::Fatal)
        return StoreOpening::Outcome::Fatal;
    if (file.outcome == StoreFile::Outcome::Writable || file.outcome == StoreFile::Outcome::Readable) {
        auto session = std::make_unique<StoreSession>(std::move(file.db));
        if (session->prepare()) {
            session_ = std::move(session);
            sessionWritable_ = file.outcome == StoreFile::Outcome::Writable;
        } else {
            text = "cannot read " + EscapeBytes(path_) + ": " + session->db.error();
        }
    }
    problem_ = sessionWritable_ ? std::string() : text;
    return sessionWritable_ ? StoreOpening::Outcome::Ready : StoreOpening::Outcome::Unwritable;
}

std::string SqliteStore::inUseText() const
{
    return "another Zorvel is using the store in " + EscapeBytes(folder_) +
           "; only one may run on a folder: end the other one, or start this one with another --folder.";
}

std::string SqliteStore::lockFailedText() const
{
    return "cannot write " + EscapeBytes(path_) + ": cannot lock the folder (" + lock_.error() + ")";
}

bool SqliteStore::writable()
{
    if (sessionWritable_)
        return true;
    if (forListing_) {
        problem_ = "cannot write " + EscapeBytes(path_) + ": it is open for listing only";
        return false;
    }
    switch (lock_.take(folder_)) {
    case FolderLock::Outcome::Taken: problem_ = inUseText(); return false;
    case FolderLock::Outcome::Failed: problem_ = lockFailedText(); return false;
    case FolderLock::Outcome::Held: break;
    }
    StoreFile file = OpenStoreFile(path_, true);
    std::string text;
    if (adopt(file, text) == StoreOpening::Outcome::Ready)
        return true;
    problem_ = text;
    return false;
}

bool SqliteStore::keep(const Intake& intake, std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    StoreSession& s = write.session();
    for (const Intake::Entry& entry : intake.entries) {
        StatementUse use(s.insertEntry);
        const std::string digest = EntryDigest(s.contentKey, entry.content);
        s.insertEntry.bindBlob(1, digest.data(), digest.size()).bindText(2, entry.messageId).bind(3, nowMs);
        if (s.insertEntry.step() != Step::Done)
            return write.fail();
    }
    for (const NewMessage& message : intake.messages)
        if (!insertMessage(s, message, nowMs))
            return write.fail();
    for (const NewPart& part : intake.parts) {
        StatementUse use(s.insertPart);
        s.insertPart.bindText(1, part.longKey).bind(2, part.sequence).bind(3, part.count)
            .bindText(4, part.pdu).bind(5, nowMs);
        if (s.insertPart.step() != Step::Done)
            return write.fail();
    }
    return write.commit();
}

std::vector<StoredPart> SqliteStore::parts()
{
    std::vector<StoredPart> found;
    if (!readable())
        return found;
    SqliteStatement& select = session_->selectParts;
    StatementUse use(select);
    Step step;
    while ((step = select.step()) == Step::Row) {
        StoredPart stored;
        stored.id = select.integer(0);
        stored.part.longKey = select.text(1);
        stored.part.sequence = static_cast<int>(select.integer(2));
        stored.part.count = static_cast<int>(select.integer(3));
        stored.part.pdu = select.text(4);
        stored.receivedMs = select.integer(5);
        found.push_back(std::move(stored));
    }
    if (step == Step::Error)
        return readFailed(std::vector<StoredPart>{});
    problem_.clear();
    return found;
}

bool SqliteStore::join(const NewMessage& message, std::int64_t receivedMs,
                       const std::vector<std::int64_t>& partIds)
{
    Write write(*this);
    if (!write.begun())
        return false;
    StoreSession& s = write.session();
    if (!insertMessage(s, message, receivedMs))
        return write.fail();
    for (std::int64_t id : partIds) {
        StatementUse use(s.deletePart);
        s.deletePart.bind(1, id);
        if (s.deletePart.step() != Step::Done)
            return write.fail();
        // A part joined already, or never stored: this join is not what the caller thinks.
        if (s.db.changes() != 1)
            return write.fail("part " + std::to_string(id) + " is not stored");
    }
    return write.commit();
}

std::vector<WaitingMessage> SqliteStore::waiting(std::size_t limit)
{
    std::vector<WaitingMessage> found;
    if (!readable())
        return found;
    SqliteStatement& select = session_->selectWaiting;
    StatementUse use(select);
    // LIMIT -1 is no limit.
    select.bind(1, limit > std::size_t(std::numeric_limits<std::int64_t>::max())
                       ? std::int64_t(-1)
                       : static_cast<std::int64_t>(limit));
    Step step;
    while ((step = select.step()) == Step::Row) {
        WaitingMessage waiting;
        waiting.message.id = select.text(0);
        waiting.message.sender = select.text(1);
        waiting.message.stamp = select.text(2);
        waiting.message.text = select.text(3);
        waiting.message.parts = static_cast<int>(select.integer(4));
        waiting.receivedMs = select.integer(5);
        waiting.tries = static_cast<int>(select.integer(6));
        waiting.nextTryMs = select.integer(7);
        waiting.lastFailure = select.text(8);
        found.push_back(std::move(waiting));
    }
    if (step == Step::Error)
        return readFailed(std::vector<WaitingMessage>{});
    problem_.clear();
    return found;
}

int SqliteStore::waitingCount()
{
    // Asked every second: counted again only after a write.
    if (!countStale_ || !readable())
        return count_;
    SqliteStatement& count = session_->countWaiting;
    StatementUse use(count);
    if (count.step() != Step::Row)
        return readFailed(count_);
    count_ = static_cast<int>(count.integer(0));
    countStale_ = false;
    problem_.clear();
    return count_;
}

bool SqliteStore::delivered(const std::string& id, int status, std::int64_t nowMs)
{
    {
        Write write(*this);
        if (!write.begun())
            return false;
        StoreSession& s = write.session();
        StatementUse use(s.markDelivered);
        s.markDelivered.bindText(1, id).bind(2, nowMs).bind(3, status);
        if (s.markDelivered.step() != Step::Done)
            return write.fail();
        if (s.db.changes() != 1) {
            // Noted before: whoever asks again (after a commit that looked failed) is told
            // it is done, rather than asking for ever.
            StatementUse find(s.findDelivered);
            s.findDelivered.bindText(1, id);
            const Step found = s.findDelivered.step();
            if (found == Step::Error)
                return write.fail();
            if (found == Step::Done)
                return write.fail("message " + EscapeBytes(id) + " is not stored");
        }
        if (!write.commit())
            return false;
    }
    // The text's old bytes leave the write-ahead log too. A listing reading just now
    // keeps them there: catchUp() tries again each cycle until it is done.
    checkpointOwed_ = true;
    catchUp();
    return true;
}

bool SqliteStore::refused(const std::string& id, const std::string& failure, std::int64_t nextTryMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    StoreSession& s = write.session();
    StatementUse use(s.markRefused);
    s.markRefused.bindText(1, id).bindText(2, failure).bind(3, nextTryMs);
    if (s.markRefused.step() != Step::Done)
        return write.fail();
    if (s.db.changes() != 1)
        return write.fail("message " + EscapeBytes(id) + " is not waiting");
    return write.commit();
}

} // namespace zorvel
