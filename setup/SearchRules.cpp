#include "SearchRules.h"

#include <string.h>

const KnownRelease KnownReleases[KnownReleaseCount] = {
    {1015808, 99, 11, 1, 14, 41, 6},   {1015808, 100, 1, 29, 11, 12, 38},
    {1085440, 100, 2, 17, 11, 35, 34}, {1085440, 100, 3, 3, 10, 54, 38},
    {1228800, 100, 4, 13, 12, 57, 8},  {1302528, 100, 6, 13, 17, 46, 24},
};

namespace {

const unsigned FileAttributeHidden = 0x2;
const unsigned FileAttributeDirectory = 0x10;
const unsigned FileAttributeReparsePoint = 0x400;

const int DriveLetterCount = 'Z' - 'A' + 1;

// Seven groups of nine dots and an arrow head: a window of 45 bytes into it,
// starting nine places before the phase, puts the heads where they belong.
const char MarqueePattern[] = "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
                              "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>";
static_assert(sizeof MarqueePattern - 1 == 70, "seven groups of ten");

} // namespace

bool IsKnownRelease(unsigned long size, const struct tm& written) {
    for (const KnownRelease& release : KnownReleases) {
        if (static_cast<unsigned long>(release.Size) == size && release.Year == written.tm_year &&
            release.Month == written.tm_mon + 1 && release.Day == written.tm_mday)
            return true;
    }
    return false;
}

bool QualifiesForDescent(unsigned attributes, const char* name) {
    // A junction or directory link can lead back to its own parent, and the
    // walk would go round until its paths no longer fit.
    return (attributes & FileAttributeDirectory) != 0 &&
           (attributes & (FileAttributeHidden | FileAttributeReparsePoint)) == 0 && name[0] != '.';
}

int NextDriveIndex(unsigned long drives, int after) {
    for (int index = after + 1; index < DriveLetterCount; ++index)
        if ((drives >> index & 1) != 0)
            return index;
    return -1;
}

void MarqueeText(int phase, char (&text)[MarqueeLength + 1]) {
    if (phase < 0 || phase > 9)
        phase = 0;
    memcpy(text, MarqueePattern + 9 - phase, MarqueeLength);
    text[MarqueeLength] = 0;
}
