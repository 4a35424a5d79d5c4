#include "PathRules.h"

#include <string.h>

#include "DbcsText.h"
#include "ExtractorLZH.h"

namespace {

const unsigned long DirectoryAttribute = 0x10;

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

// A character that no name may hold; ':' is judged by its place.
bool IsNeverInAName(char c) {
    return static_cast<unsigned char>(c) < 0x20 || strchr("\"*?<>|", c) != NULL;
}

// One part of a path, between backslashes. An empty one is the start of a
// share or the end of a folder path. A space or a dot is never a trail
// byte, so the last byte tells how the part ends.
bool IsNamePart(const char* part, int length) {
    if (length == 0)
        return true;
    if (part[length - 1] == ' ' || part[length - 1] == '.')
        return false;
    char name[PathSize];
    memcpy(name, part, static_cast<size_t>(length));
    name[length] = 0;
    return !CExtractorLZH::IsDeviceName(name);
}

} // namespace

void TrimTypedPath(char* text) {
    size_t start = 0;
    size_t end = strlen(text);
    while (start < end && text[start] == ' ')
        ++start;
    while (end > start && text[end - 1] == ' ')
        --end;
    if (end - start >= 2 && text[start] == '"' && text[end - 1] == '"') {
        ++start;
        --end;
    }
    memmove(text, text + start, end - start);
    text[end - start] = 0;
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

bool IsFolderPath(const char* path) {
    if (strlen(path) >= PathSize)
        return false;
    if (path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') && path[3] == '\\')
        return false;
    // Neither a backslash nor the terminator is a lead byte: tested first,
    // they end a part; a trail byte is passed over with its lead.
    for (int start = 0, i = 0;; ++i) {
        const char c = path[i];
        if (c == '\\' || c == 0) {
            if (!IsNamePart(path + start, i - start))
                return false;
            if (c == 0)
                return true;
            start = i + 1;
        } else if (IsDoubleByteAt(path, i)) {
            ++i;
        } else if (IsNeverInAName(c) || (c == ':' && (i != 1 || !IsDriveLetter(path[0])))) {
            return false;
        }
    }
}

bool IsRecordedInstallation(const char* folder, unsigned long attributes) {
    return IsAbsolutePath(folder) && IsFolderPath(folder) && attributes != NoFileAttributes &&
           (attributes & DirectoryAttribute) != 0;
}
