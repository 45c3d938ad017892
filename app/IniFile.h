#pragma once
// A small read-only INI reader with the rules of the classic Windows private-profile
// reader that our configuration relies on. Values are the file's bytes, unchanged
// apart from the trimming rules below; no text encoding is assumed.
//
// Rules:
//  - section and key names match without regard to ASCII letter case;
//  - blanks (spaces, tabs) around names and values are dropped, and so are blanks
//    inside the brackets of a header: "[ Zorvel ]" is section "Zorvel" (the classic
//    reader would not match it, but a hand-edited file plainly means that section);
//    a header ends at its first ']' and anything after it is ignored; a line that
//    starts with '[' but has no ']' is ignored;
//  - one pair of matching surrounding quotes (single or double) is dropped, after the
//    blanks; blanks inside the quotes are kept;
//  - a value is cut to 254 bytes (after the quotes are dropped), as the classic
//    reader does with its 255-character buffer;
//  - the first matching section wins: keys of a later section of the same name are
//    not seen; within it the first matching key wins;
//  - lines whose first non-blank character is ';' are comments; a ';' later in a
//    line is part of the value, as in the classic reader;
//  - key lines without '=' and key lines before the first section are ignored;
//  - lines end with LF or CR LF; a UTF-8 byte-order mark at the start is skipped;
//  - "key=" gives an empty value, which is not the same as a missing key.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvel {

class IniFile {
public:
    enum class Status { Read, Missing, Unreadable };

    static constexpr std::size_t MaxValueLength = 254;

    // Reads the file at `path`. A file that does not exist gives status Missing;
    // one that exists but cannot be read (a folder, no permission) gives Unreadable.
    static IniFile Load(const std::string& path);
    // Parses INI text already in memory.
    static IniFile FromText(std::string_view text);

    Status status() const { return status_; }
    // Why the file could not be read; empty when it was read.
    const std::string& problem() const { return problem_; }

    bool HasSection(std::string_view section) const;

    // The value of `key` in `section`, or nothing when the file, the section or the
    // key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    Status status_ = Status::Read;
    std::string problem_;
    std::vector<Section> sections_;
};

} // namespace zorvel
