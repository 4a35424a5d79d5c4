// Scanning narrow text in the active ANSI code page without splitting
// double-byte characters. On a Japanese system the trail byte of a character
// such as 0x95 0x5C has the value of a backslash; it must never be taken for one.
#pragma once

#include <string.h>

// Code page 932 (Shift JIS), the ANSI code page of Japanese Windows: the
// bytes that open a double-byte character, and those that may close one.
inline bool IsLeadByte932(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool IsTrailByte932(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// True when text[i] starts a double-byte character: a lead byte of the active
// code page followed by a valid trail byte. Such a pair is taken together and
// never compared with a single-byte character.
bool IsDoubleByteAt(const char* text, int i);

// Byte index of the last single-byte occurrence of ch in text, or -1.
int LastCharIndex(const char* text, char ch);

// True when the last byte of text is a lead byte that stands alone. A
// backslash appended to such a text would join it as its trail byte.
bool EndsInLoneLeadByte(const char* text);

// A folder path, once chosen, ends with a backslash; without it, for display
// and for the calls that test or make a folder, except at a drive root (C:\),
// which would otherwise name the drive's current folder. A backslash among a
// path's first three bytes counts as a drive root's.
inline bool EndsWithBackslash(const char* path) {
    const size_t length = strlen(path);
    return length > 0 && LastCharIndex(path, '\\') == static_cast<int>(length) - 1;
}
inline void CutTrailingBackslash(char* path) {
    enum { DriveRootLength = 3 };
    const size_t length = strlen(path);
    if (length > DriveRootLength && EndsWithBackslash(path))
        path[length - 1] = 0;
}
