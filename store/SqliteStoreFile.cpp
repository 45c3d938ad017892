#include "SqliteStoreFile.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ByteEscape.h"
#include "StoreSchema.h"

namespace zorvel {

namespace {

bool exists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::string fatalText(const std::string& path, const SchemaState& state)
{
    const std::string file = EscapeBytes(path);
    const std::string unchanged = ": Zorvel will not change it. ";
    switch (state.kind) {
    case SchemaState::Kind::Newer:
        return file + " was written by a newer Zorvel (schema " + std::to_string(state.version) +
               ", this one reads " + std::to_string(storeSchemaVersion) + ")" + unchanged +
               "Run that Zorvel, or move the file away to start with an empty store.";
    case SchemaState::Kind::Foreign: {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08llX",
                      static_cast<unsigned long long>(state.applicationId) & 0xFFFFFFFFull);
        return file + " belongs to another program (application id " + id + ")" + unchanged +
               "Move it away to start with an empty store.";
    }
    default:
        return file + " is damaged (" + state.detail + ")" + unchanged +
               "Move it away to start with an empty store; its messages can be read with sqlite3.";
    }
}

// The store and the files SQLite keeps beside it are never followed through a link: one
// could put the messages where others read them, or point the writes at another file.
const char* const companions[] = {"", "-wal", "-shm", "-journal"};

std::string linkText(const std::string& path)
{
    for (const char* suffix : companions) {
        struct stat info;
        if (::lstat((path + suffix).c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            return EscapeBytes(path + suffix) + " is a symbolic link: Zorvel will not follow it. "
                   "Put the file itself there, or remove the link to start with an empty store.";
    }
    return {};
}

// SQLite's NOFOLLOW refuses a link anywhere in the path: the folder (which may well be
// reached through one) is resolved first, so only a link in the file's own name is.
std::string resolvedFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string resolved(real);
    std::free(real);
    return (resolved == "/" ? "" : resolved) + "/" + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

bool isFatal(SchemaState::Kind kind)
{
    return kind == SchemaState::Kind::Damaged || kind == SchemaState::Kind::Newer ||
           kind == SchemaState::Kind::Foreign;
}

// A new store is readable by its owner only: it holds the texts of the messages. SQLite
// gives its -wal and -shm files the same mode.
bool createFile(const std::string& path, std::string& why)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    ::close(fd);
    return true;
}

// What every writing connection needs: no waiting on a busy file (the program is
// single-threaded: a busy store is a failed write, tried again next time), the WAL so that
// a listing can read while the gateway writes, a commit that survives a power cut, and
// the bytes of removed texts overwritten.
std::string configure(SqliteDatabase& db)
{
    SqliteStatement mode = db.prepare("PRAGMA journal_mode = WAL");
    if (!mode)
        return db.error();
    if (mode.step() != SqliteStatement::Step::Row) {
        db.noteError();
        return db.error();
    }
    if (mode.text(0) != "wal")
        return "cannot use a write-ahead log";
    mode.reset();
    if (!db.exec("PRAGMA busy_timeout = 0; PRAGMA synchronous = FULL; PRAGMA secure_delete = ON;"))
        return db.error();
    return {};
}

// Empty when the file, ours or new, is ready for writing; else why not.
std::string makeWritable(SqliteDatabase& db, const SchemaState& state)
{
    if (db.readOnly())
        return sqlite3_errstr(SQLITE_READONLY);
    std::string why = configure(db);
    if (why.empty() && state.kind == SchemaState::Kind::Empty && !CreateSchema(db))
        why = db.error();
    if (why.empty() && state.kind == SchemaState::Kind::Older && !UpgradeSchema(db, state.version))
        why = db.error();
    return why;
}

// A file: URI for the path, every byte outside the plain ones percent-encoded.
std::string fileUri(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::strchr("/-._~", c) != nullptr)
            uri += static_cast<char>(c);
        else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0xF];
        }
    }
    return uri;
}

// Reading: a WAL file cannot be read where its -shm cannot be made (a read-only folder
// with no Zorvel running). Without a -wal file everything is in the file itself, and
// nobody can add one there, so it is read as it is.
SchemaState openForReading(SqliteDatabase& db, const std::string& path)
{
    SchemaState state;
    if (db.open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW)) {
        state = CheckSchema(db);
        if (state.kind != SchemaState::Kind::Unreadable || exists(path + "-wal"))
            return state;
    } else {
        state.detail = db.error();
        if (exists(path + "-wal"))
            return state;
    }
    if (!db.open(fileUri(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW))
        return state;
    const SchemaState immutable = CheckSchema(db);
    return immutable.kind == SchemaState::Kind::Unreadable ? state : immutable;
}

} // namespace

StoreFile OpenStoreFile(const std::string& shownPath, bool forWriting)
{
    StoreFile file;
    file.text = linkText(shownPath);
    if (!file.text.empty()) {
        file.outcome = StoreFile::Outcome::Fatal;
        return file;
    }
    const std::string path = resolvedFolder(shownPath);
    std::string why;
    if (forWriting && (exists(path) || createFile(path, why))) {
        if (file.db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW)) {
            const SchemaState state = CheckSchema(file.db);
            if (isFatal(state.kind)) {
                file.outcome = StoreFile::Outcome::Fatal;
                file.text = fatalText(shownPath, state);
                return file;
            }
            why = state.kind == SchemaState::Kind::Unreadable ? state.detail
                                                              : makeWritable(file.db, state);
            if (why.empty()) {
                file.outcome = StoreFile::Outcome::Writable;
                return file;
            }
        } else {
            why = file.db.error();
        }
    }
    file.db.close();
    const std::string printablePath = EscapeBytes(shownPath);
    if (forWriting)
        file.text = "cannot write " + printablePath + ": " + why;
    if (!exists(path)) {
        if (!forWriting)
            file.text = printablePath + " does not exist";
        return file;
    }
    const SchemaState state = openForReading(file.db, path);
    if (isFatal(state.kind)) {
        file.outcome = StoreFile::Outcome::Fatal;
        file.text = fatalText(shownPath, state);
    } else if (state.kind == SchemaState::Kind::Ours || state.kind == SchemaState::Kind::Older) {
        file.outcome = StoreFile::Outcome::Readable;
    } else {
        file.db.close();
        // An empty file holds nothing to read, and that is no failure.
        if (!forWriting && state.kind != SchemaState::Kind::Empty)
            file.text = "cannot read " + printablePath + ": " + state.detail;
    }
    return file;
}

} // namespace zorvel
