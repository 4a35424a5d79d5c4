// Bounded copies into the fixed text buffers. A text that does not fit is
// refused whole: the buffer keeps its old content and the call returns false,
// so a path is never cut short into another, valid-looking path.
#pragma once

#include <stddef.h>

bool CopyText(char* buffer, size_t size, const char* text);
bool AppendText(char* buffer, size_t size, const char* text);

// Appends a backslash unless the text is empty or already ends with one (a
// code-page-932 trail byte 0x5C does not count). False when it does not fit.
bool EndWithBackslash(char* buffer, size_t size);

// True when folder followed by name fits a buffer of size bytes.
bool FitsWithName(const char* folder, const char* name, size_t size);

// Starts the text of a question box: the path without its trailing backslash
// (a drive root keeps its own) and an empty line, or nothing without a path
// or where they would not fit. The path may lie in the text's own buffer.
void BeginQuestionText(char* text, size_t size, const char* path);

template <size_t N> bool CopyText(char (&buffer)[N], const char* text) {
    return CopyText(buffer, N, text);
}
template <size_t N> bool AppendText(char (&buffer)[N], const char* text) {
    return AppendText(buffer, N, text);
}
template <size_t N> bool EndWithBackslash(char (&buffer)[N]) {
    return EndWithBackslash(buffer, N);
}
template <size_t N> void BeginQuestionText(char (&text)[N], const char* path) {
    BeginQuestionText(text, N, path);
}
