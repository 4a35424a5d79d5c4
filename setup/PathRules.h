// Which paths the setup takes for a destination folder: a typed or pasted
// text freed of what surrounds it, and the paths that name a folder Windows
// can make and open. Free of Windows calls. Every scan takes a double-byte
// character whole, so a trail byte 0x5C or 0x7C is neither a backslash nor
// a '|'.
#pragma once

// Removes the spaces around the text, then one pair of double quotes around
// what is left (Explorer's "Copy as path" adds them), in place.
void TrimTypedPath(char* text);

// True when path names the same place whatever the current folder: it
// starts with a drive root (a letter, a colon and a backslash) or with a
// share (\\server\share, then a backslash or the end).
bool IsAbsolutePath(const char* path);

// True when every part of path can be a folder's name: none is a device
// name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$ and CONOUT$,
// with any extension, in any case: the engine's one list), holds a
// character that no name may hold (a control character, " * ? < > |, or ':'
// anywhere but after the drive letter), or ends in a space or a dot, which
// Windows drops; and path does not start with \\?\ or \\.\ , which hand the
// rest to the system untouched.
bool IsFolderPath(const char* path);

// What GetFileAttributesA gives for a path that does not exist.
const unsigned long NoFileAttributes = 0xFFFFFFFF;

// True when a recorded ProgramFolder names an earlier installation: an
// absolute folder path as above, whose folder exists as a folder (attributes
// are those of the folder, NoFileAttributes when it is missing).
bool IsRecordedInstallation(const char* folder, unsigned long attributes);
