// Names between code page 932, in which the engine and the setup keep paths
// and member names, and UTF-8, in which Linux names files. The stand-in turns
// every path it is given into UTF-8 this way, as Windows turns an ANSI path
// into the file system's Unicode; lzhx and lzhpack use the same conversions
// on Linux for what they read and print.
#pragma once

#include <string>

// Every character by the code page's table (glibc's iconv), and what is no
// character of it as Windows takes it in a path: a lead byte with the byte
// after it, whatever that is, becomes U+30FB (KATAKANA MIDDLE DOT, the code
// page's default character) where the table lacks the pair; a lead byte that
// ends the text is dropped; the single bytes 0x80, 0xA0 and 0xFD to 0xFF,
// which glibc's table lacks, become U+0080, U+F8F0 and U+F8F1 to U+F8F3, as
// in Windows' table. So an archive from another system gives on Linux the
// names that it gives on Windows.
std::string Utf8FromCodePage932(const char* text);

// The code-page-932 form of UTF-8 text; false when the text is no valid
// UTF-8 or holds a character that has no such form, or one that would not
// come back as itself (the yen sign, say, which the table takes to 0x5C, the
// backslash).
bool CodePage932FromUtf8(const char* text, std::string& out);
