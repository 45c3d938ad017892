#pragma once
// The store's write transaction and failed read, shared by the files that implement
// SqliteStore.
#include "ByteEscape.h"
#include "SqliteStore.h"
#include "StoreSession.h"

namespace zorvel {

// One write transaction. Nothing of it stays unless commit() says so.
class SqliteStore::Write {
public:
    // `relaxed`: a transaction that only forgets may be lost at a power cut, so it need
    // not wait for the disk.
    explicit Write(SqliteStore& store, bool relaxed = false) : store_(store), relaxed_(relaxed)
    {
        if (!store_.writable())
            return;
        if (relaxed_)
            db().exec("PRAGMA synchronous = NORMAL");
        begun_ = db().exec("BEGIN IMMEDIATE");
        if (!begun_)
            fail(db().error());
    }
    ~Write()
    {
        if (!store_.sessionWritable_)
            return;
        db().rollback();
        if (relaxed_)
            db().exec("PRAGMA synchronous = FULL");
    }
    Write(const Write&) = delete;
    Write& operator=(const Write&) = delete;

    bool begun() const { return begun_; }
    StoreSession& session() { return *store_.session_; }

    // Takes the connection's last error as the reason, and drops the transaction.
    bool fail()
    {
        db().noteError();
        return fail(db().error());
    }
    bool fail(const std::string& why)
    {
        db().rollback();
        store_.problem_ = "cannot write " + EscapeBytes(store_.path_) + ": " + why;
        return false;
    }
    bool commit()
    {
        if (!db().exec("COMMIT"))
            return fail(db().error());
        store_.problem_.clear();
        store_.countStale_ = true;
        return true;
    }

private:
    SqliteDatabase& db() { return store_.session_->db; }

    SqliteStore& store_;
    bool relaxed_;
    bool begun_ = false;
};

template <typename Result>
Result SqliteStore::readFailed(Result empty)
{
    session_->db.noteError();
    problem_ = "cannot read " + EscapeBytes(path_) + ": " + session_->db.error();
    return empty;
}

} // namespace zorvel
