// The store's memory of modem entries taken in (what recognises one listed again), the
// purge, and what a write leaves for later.
#include "EntryDigest.h"
#include "SqliteStore.h"
#include "StoreWrite.h"

namespace zorvel {

namespace {

constexpr std::int64_t keepingTimeMs = 7LL * 24 * 60 * 60 * 1000;

using Step = SqliteStatement::Step;

// An entry is found by its keyed digest, or by the plain one a store from before keys
// holds for it (those go when listed again, re-keyed, or with the purge).
void bindDigests(SqliteStatement& statement, const std::string& key, const std::string& content)
{
    const std::string keyed = EntryDigest(key, content);
    const std::string plain = PlainDigest(content);
    statement.bindBlob(1, keyed.data(), keyed.size()).bindBlob(2, plain.data(), plain.size());
}

} // namespace

bool SqliteStore::holdsEntry(const std::string& content)
{
    if (!readable())
        return false;
    SqliteStatement& find = session_->findEntry;
    StatementUse use(find);
    bindDigests(find, session_->contentKey, content);
    const Step step = find.step();
    if (step == Step::Error)
        return readFailed(false);
    problem_.clear();
    return step == Step::Row;
}

bool SqliteStore::entriesDeleted(const std::vector<std::string>& contents)
{
    Write write(*this, true);
    if (!write.begun())
        return false;
    StoreSession& s = write.session();
    for (const std::string& content : contents) {
        StatementUse use(s.deleteEntry);
        bindDigests(s.deleteEntry, s.contentKey, content);
        if (s.deleteEntry.step() != Step::Done)
            return write.fail();
    }
    return write.commit();
}

bool SqliteStore::purge(std::int64_t nowMs, const std::optional<std::vector<std::string>>& stillListed)
{
    Write write(*this);
    if (!write.begun())
        return false;
    StoreSession& s = write.session();
    // An entry still on the modem (its delete refused) is never forgotten: forgotten, it
    // would be taken for a new message and sent again.
    for (const std::string& content : stillListed ? *stillListed : std::vector<std::string>{}) {
        StatementUse use(s.refreshEntry);
        bindDigests(s.refreshEntry, s.contentKey, content);
        s.refreshEntry.bind(3, nowMs);
        if (s.refreshEntry.step() != Step::Done)
            return write.fail();
    }
    std::vector<SqliteStatement*> purges{&s.purgeMessages};
    if (stillListed)
        purges.push_back(&s.purgeEntries);
    for (SqliteStatement* purge : purges) {
        StatementUse use(*purge);
        purge->bind(1, nowMs - keepingTimeMs);
        if (purge->step() != Step::Done)
            return write.fail();
    }
    return write.commit();
}

void SqliteStore::catchUp()
{
    if (!checkpointOwed_ || !sessionWritable_)
        return;
    // Busy (a reader on an older snapshot) answers 1 in the first column.
    SqliteStatement& checkpoint = session_->checkpoint;
    StatementUse use(checkpoint);
    checkpointOwed_ = !(checkpoint.step() == Step::Row && checkpoint.integer(0) == 0);
}

} // namespace zorvel
