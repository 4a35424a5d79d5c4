// A stand-in for the few Win32 and Microsoft runtime calls that the extraction
// engine makes, so that the same engine source builds and runs on Linux.
//
// Paths arrive in Windows form, in code page 932 (the stand-in's ANSI code
// page): they reach the file system in UTF-8, converted as Windows converts
// them (CodePage932.h), with every single-byte backslash made a slash. A
// trail byte with the value of a backslash is part of its character, so a
// name such as 0x95 0x5C is the file 表. Drive letters are not mapped.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void* HANDLE;
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef char16_t WCHAR;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef LONG* PLONG;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef const char* LPCSTR;
typedef struct _OVERLAPPED* LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define DELETE 0x00010000u
#define FILE_READ_ATTRIBUTES 0x00000080u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_WRITE_THROUGH 0x00000008u
#define CP_ACP 0
#define MB_ERR_INVALID_CHARS 0x00000008u

#define NO_ERROR 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_ALREADY_EXISTS 183
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// What GetFileInformationByHandle fills in: the attributes, the volume, the
// size, the number of links and the file's index, which names the file
// within its volume for as long as it exists (the inode number here); no
// times.
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

// What FindFirstFileA and FindNextFileA fill in: the name and the
// attributes (a symbolic link is a reparse point).
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};

enum FILE_INFO_BY_HANDLE_CLASS { FileRenameInfo = 3, FileDispositionInfo = 4 };

struct FILE_RENAME_INFO {
    BOOL ReplaceIfExists;
    HANDLE RootDirectory;
    DWORD FileNameLength; // in bytes, without a terminator
    WCHAR FileName[1];
};

struct FILE_DISPOSITION_INFO {
    BOOL DeleteFile;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Files keep the sharing rules of Windows within the process: a file held
// open cannot be opened for an access (read, write, delete) that its handles
// do not share, nor against an access they hold that the new handle does not
// share; and it cannot be deleted or replaced unless every handle shares
// deletion. A refusal sets ERROR_SHARING_VIOLATION. A file whose delete
// disposition is set cannot be opened again (ERROR_ACCESS_DENIED).
//
// A read-only file (one without any write permission: FILE_ATTRIBUTE_READONLY)
// is refused, as on Windows and whoever the process runs as, to a handle that
// would write it, to deletion and as the target of a replacing move.
//
// A new file opened with DELETE access, the access that renaming it and
// setting its delete disposition through the handle need, is made unnamed
// on the disk (O_TMPFILE) where the file system can: it takes its name when
// its deletion is cancelled or, without a delete disposition, when its last
// handle is closed. Until then the name is held within the process (it is
// taken, and the file cannot be opened or moved by it: ERROR_SHARING_VIOLATION).
// So if the process dies before, the system removes the file, as Windows does
// with a file whose deletion is pending. Elsewhere it is an ordinary file.
//
// FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link itself: here it refuses
// one. Other flags and attributes are ignored.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
// fsync of the file.
BOOL FlushFileBuffers(HANDLE file);
// The last handle of a file whose delete disposition is set deletes it.
BOOL CloseHandle(HANDLE file);
// FileDispositionInfo sets or cancels the file's deletion at its last close
// (a read-only file cannot be set for deletion); FileRenameInfo renames it,
// by a full path or one relative to the current folder, onto a name that is
// free (ReplaceIfExists is not supported). Both need DELETE access.
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                DWORD size);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// A folder gives FILE_ATTRIBUTE_DIRECTORY; a file FILE_ATTRIBUTE_READONLY
// when nobody may write it, else FILE_ATTRIBUTE_NORMAL.
DWORD GetFileAttributesA(LPCSTR path);
// FILE_ATTRIBUTE_READONLY takes every write permission away; without it,
// the owner may write again, and so may those who may read.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
// Renames a file within its volume; with MOVEFILE_REPLACE_EXISTING it takes
// the place of an existing file, never of a folder or of a read-only file.
// MOVEFILE_WRITE_THROUGH returns only once the move is on the disk: the
// folder is synced (fsync) after the rename.
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
// Patterns with * and ?, matched ignoring the case of ASCII letters, in the
// last part of the path only. An empty result is ERROR_FILE_NOT_FOUND.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);
DWORD GetLastError();
void SetLastError(DWORD code);

// The active ANSI code page; the stand-in is always Japanese.
UINT GetACP();
BOOL IsDBCSLeadByte(BYTE byte);
// Code page 932 (CP_ACP) to UTF-16, as CodePage932.h converts it; with
// MB_ERR_INVALID_CHARS, text that is no valid code-page-932 text fails. A
// length of -1 includes the terminator; room 0 asks for the length needed.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, WCHAR* wide, int room);

// Microsoft C runtime.
int _access(const char* path, int mode);
int _mkdir(const char* path);
// Removes an empty folder.
int _rmdir(const char* path);
// Refused, as on Windows, while a handle that does not share deletion is
// open, and for a read-only file.
int _unlink(const char* path);
// Compares ignoring the case of the ASCII letters A to Z only, as the
// runtime does in its default locale.
int _stricmp(const char* a, const char* b);

// For the tests: a call that fails on purpose, and a record of what the
// engine asked of the file system.
//
// StandInFailNext("FlushFileBuffers"), ("CloseHandle") or ("MoveFileExA")
// makes the next such call fail with ERROR_WRITE_FAULT (a handle is closed
// all the same, a file is not moved); null takes back every failure not met
// yet.
void StandInFailNext(const char* call);
// While recording, WriteFile, FlushFileBuffers, CloseHandle and MoveFileExA
// add a line each: the call and the file's name without its folder, e.g.
// "FlushFileBuffers ~qm00000000000a1b2c.tmp" or "MoveFileExA
// ~qm00000000000a1b2c.tmp ReadMe.txt write-through". Starting a recording
// clears the lines.
void StandInRecord(bool on);
const char* StandInRecorded(int line); // null past the last line
