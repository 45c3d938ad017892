#pragma once
// The character tables of the GSM 7-bit alphabet (3GPP TS 23.038), chosen by national
// language identifier: 0 default, 1 Turkish, 2 Spanish, 3 Portuguese, 4 Bengali,
// 5 Gujarati, 6 Hindi, 7 Kannada, 8 Malayalam, 9 Oriya, 10 Punjabi, 11 Tamil, 12 Telugu,
// 13 Urdu.

namespace zorvel {

// The 128 characters of a locking shift table, indexed by septet: the default alphabet
// for 0, for Spanish (which has no locking shift table) and for identifiers not listed.
// Codes a table leaves empty, and the escape 0x1B itself, read as a space.
const char16_t* LockingShiftTable(int language);

// What the escape 0x1B followed by `code` stands for in a single shift table (the default
// extension table for 0 and for identifiers not listed); 0 when the table has nothing there.
char16_t SingleShiftCharacter(int language, unsigned char code);

} // namespace zorvel
