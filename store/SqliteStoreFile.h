#pragma once
// Opening zorvel.sqlite: for writing when that works, else for reading what it holds, and
// never writing a byte to a file that is not a store of ours this program can read.
#include <string>

#include "SqliteDatabase.h"

namespace zorvel {

struct StoreFile {
    enum class Outcome {
        Writable,    // ours (or new, now created), open for writing
        Readable,    // ours, open for reading only; text says why not for writing
        Unavailable, // nothing to read (no file, empty, unreadable); text says why
        Fatal,       // damaged, newer or another program's: text says so and what to do
    };
    Outcome outcome = Outcome::Unavailable;
    SqliteDatabase db; // Writable and Readable
    std::string text;
};

// `path` is the file's; a new file is created (only for writing, owner-only) when there
// is none.
StoreFile OpenStoreFile(const std::string& path, bool forWriting);

} // namespace zorvel
