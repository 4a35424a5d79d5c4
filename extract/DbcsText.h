// Scanning narrow text in the active ANSI code page without splitting
// double-byte characters. On a Japanese system the trail byte of a character
// such as 0x95 0x5C has the value of a backslash; it must never be taken for one.
#pragma once

// True when text[i] starts a double-byte character: a lead byte of the active
// code page followed by a valid trail byte. Such a pair is taken together and
// never compared with a single-byte character.
bool IsDoubleByteAt(const char* text, int i);

// Byte index of the last single-byte occurrence of ch in text, or -1.
int LastCharIndex(const char* text, char ch);

// True when the last byte of text is a lead byte that stands alone. A
// backslash appended to such a text would join it as its trail byte.
bool EndsInLoneLeadByte(const char* text);
