// What the search for an earlier installation looks for, apart from the
// walk itself: the known releases of the program, which folders are entered,
// and the moving line of the search dialog. Free of Windows calls.
#pragma once

#include <stddef.h>
#include <time.h>

// Earlier releases of Quillom.exe, told apart by size and the local date of
// their last write. The time of day is kept for the record only.
struct KnownRelease {
    int Size;
    int Year;  // years since 1900
    int Month; // 1 to 12
    int Day;
    int Hour;
    int Minute;
    int Second;
};

enum { KnownReleaseCount = 6 };
extern const KnownRelease KnownReleases[KnownReleaseCount];

// True when a file of this size, last written on this local date, is one of
// the known releases.
bool IsKnownRelease(unsigned long size, const struct tm& written);

// Directories are entered unless hidden, links (reparse points), or named
// with a leading dot, which also passes over "." and "..".
bool QualifiesForDescent(unsigned attributes, const char* name);

// The drives in letter order: the index of the first drive after the one of
// index after (0 is A:, -1 before the first) whose bit is set in a mask as
// GetLogicalDrives gives it, or -1 when none is left. Only the letters A to
// Z name drives.
int NextDriveIndex(unsigned long drives, int after);

enum { MarqueeLength = 45 };

// The search line at a phase from 0 to 9: code-page-932 middle dots (0xA5)
// with an arrow head '>' at every position whose remainder by ten is the
// phase. text receives MarqueeLength bytes and a terminator.
void MarqueeText(int phase, char (&text)[MarqueeLength + 1]);
