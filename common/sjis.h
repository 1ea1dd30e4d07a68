// Shift-JIS (code page 932) byte strings and their conversion.
//
// Every text of the system is held as Shift-JIS bytes in std::string;
// lengths and positions count bytes.  Conversion to UTF-8 happens only to
// show a text or to name a file on disk.
#pragma once

#include <functional>
#include <string>

namespace sjis {

// True when b starts a double-byte character.
inline bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Converts Shift-JIS bytes to UTF-8.  Bytes that do not convert become
// U+FFFD so that a broken text can still be shown.
std::string ToUtf8(const std::string& sjisText);

// Converts UTF-8 to Shift-JIS.  Returns false (and leaves out empty) when
// any character has no Shift-JIS form: such a text is refused, never
// stored wrongly.
bool FromUtf8(const std::string& utf8Text, std::string& out);

// True when text is well-formed UTF-8 holding at least one character of
// three bytes or more (every kana and kanji is one).  Plain ASCII reads the
// same either way, and two-byte sequences alone are as likely half-width
// kana in Shift-JIS.
bool IsUtf8BeyondAscii(const std::string& text);

// True when text may be Shift-JIS (code page 932): every byte is ASCII, a
// half-width kana or the lead of a double-byte character whose trail byte
// follows, and every character has a Unicode form.  Whatever this system
// writes is such text; UTF-8 of Japanese beyond a few characters is not.
bool IsShiftJis(const std::string& text);

// True when bytes start as UTF-16 does: a byte-order mark of it, or a NUL
// beside a byte that is none in the first character (no text of ours
// holds a NUL).
bool LooksUtf16(const std::string& bytes);

// What became of a file that people's tools may have made (a roster, a CSV
// file, a settings file).
struct TOutsideText {
    enum TStatus { Ok, Utf16, NoShiftJis } Status = Ok;
    size_t Line = 0;      // NoShiftJis: the first line (from 1) with such a character
    bool WasUtf8 = false;  // the bytes were UTF-8 and are now Shift-JIS
};

// Brings such a file's bytes to Shift-JIS in place: a UTF-8 byte-order mark
// is taken off and the rest read as UTF-8; without the mark the text is read
// as UTF-8 only when it cannot be Shift-JIS (see IsShiftJis) and looksUtf8
// says so (by default: well-formed UTF-8 beyond ASCII), else it stays as it
// is: a text that may be either is ours, and a name garbled by the wrong
// guess can be put right, a refused file cannot.  UTF-16 is refused, and so is UTF-8 with
// a character that has no Shift-JIS form (bytes are then emptied).
TOutsideText DecodeOutsideText(std::string& bytes,
                               const std::function<bool(const std::string&)>& looksUtf8 = {});

// The message for a refused file (file: its path as shown); lines are
// separated by CR.  Empty for Ok.
std::string OutsideTextMessage(const TOutsideText& r, const std::string& file);

// Literal helper for texts written in the sources as UTF-8: converts and
// aborts on failure (the literals are ours, so failure is a programming
// error).
std::string L(const char* utf8Literal);

// Lower-cases ASCII letters only, never the trail byte of a double-byte
// character.
std::string LowerAscii(const std::string& s);

// Case-insensitive (ASCII letters only) comparison in the same way.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// Trims bytes at or below the space from both ends.
std::string Trim(const std::string& s);

// Code page 932 holds some characters under two codes: the NEC row 13
// symbols that repeat row 2 (0x8790 and 0x81E0 are both "≒"), and the IBM
// extensions that the NEC-selected rows 89 to 92 repeat (0xEEE0 and 0xFBFC
// are both "髙").  Text that passes through Unicode comes back with one of
// the two.  This gives every such character the code Unicode gives back, so
// that two texts of the same characters compare equal byte for byte;
// everything else (single bytes, characters of one code, bytes that are no
// character) is left as it is.
std::string UnifyDuplicateCodes(const std::string& s);

// Cuts s to at most n bytes without leaving half a double-byte character
// when keepWhole is set; plain byte cut otherwise.
std::string CutBytes(const std::string& s, size_t n, bool keepWhole = false);

}  // namespace sjis
