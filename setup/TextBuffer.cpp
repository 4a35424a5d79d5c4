#include "TextBuffer.h"

#include <string.h>

#include "DbcsText.h"

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
    if (buffer[0] == 0 || EndsWithBackslash(buffer))
        return true;
    return AppendText(buffer, size, "\\");
}

bool FitsWithName(const char* folder, const char* name, size_t size) {
    const size_t held = strlen(folder);
    return held < size && strlen(name) < size - held;
}

void BeginQuestionText(char* text, size_t size, const char* path) {
    const size_t length = path != NULL ? strlen(path) : 0;
    if (path == NULL || length >= size) {
        text[0] = 0;
        return;
    }
    memmove(text, path, length + 1); // the path may be the text itself
    CutTrailingBackslash(text);
    if (!AppendText(text, size, "\n\n"))
        text[0] = 0;
}
