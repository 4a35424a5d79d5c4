#include "TextBuffer.h"

#include <string.h>

#include "DbcsText.h"

namespace {

// The index of the backslash that ends the name starting at i, or of the
// terminator; a trail byte 0x5C does not end it.
int NameEnd(const char* text, int i) {
    for (; text[i] != 0; ++i) {
        if (IsDoubleByteAt(text, i))
            ++i;
        else if (text[i] == '\\')
            break;
    }
    return i;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

bool CopyText(char* buffer, size_t size, const char* text) {
    const size_t length = strlen(text);
    if (length >= size)
        return false;
    memcpy(buffer, text, length + 1);
    return true;
}

bool AppendText(char* buffer, size_t size, const char* text) {
    const size_t held = strlen(buffer);
    const size_t length = strlen(text);
    if (held >= size || length >= size - held)
        return false;
    memcpy(buffer + held, text, length + 1);
    return true;
}

bool EndWithBackslash(char* buffer, size_t size) {
    const int length = static_cast<int>(strlen(buffer));
    if (LastCharIndex(buffer, '\\') >= length - 1)
        return true; // ends with a backslash, or is empty
    return AppendText(buffer, size, "\\");
}

void CutTrailingBackslash(char* path) {
    const int last = LastCharIndex(path, '\\');
    if (last > 2 && path[last + 1] == 0)
        path[last] = 0;
}

bool FitsWithName(const char* folder, const char* name, size_t size) {
    const size_t held = strlen(folder);
    return held < size && strlen(name) < size - held;
}

bool IsAbsolutePath(const char* path) {
    if (IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\')
        return true;
    if (path[0] != '\\' || path[1] != '\\')
        return false;
    const int serverEnd = NameEnd(path, 2);
    // \\.\ and \\?\ lead to devices and raw paths, not to a server.
    const bool deviceOrRaw = serverEnd == 3 && (path[2] == '.' || path[2] == '?');
    if (serverEnd == 2 || deviceOrRaw || path[serverEnd] != '\\')
        return false;
    return NameEnd(path, serverEnd + 1) > serverEnd + 1;
}
