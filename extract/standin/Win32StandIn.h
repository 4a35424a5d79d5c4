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
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define MOVEFILE_REPLACE_EXISTING 0x00000001u

#define NO_ERROR 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_SHARING_VIOLATION 32
#define ERROR_FILE_EXISTS 80
#define ERROR_ALREADY_EXISTS 183
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
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
// open cannot be opened for an access that its handles do not share, nor
// against an access they hold that the new handle does not share; and it
// cannot be deleted or replaced unless every handle shares deletion. A
// refusal sets ERROR_SHARING_VIOLATION.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
BOOL CloseHandle(HANDLE file);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// A folder gives FILE_ATTRIBUTE_DIRECTORY, any other entry FILE_ATTRIBUTE_NORMAL.
DWORD GetFileAttributesA(LPCSTR path);
// Renames a file within its volume; with MOVEFILE_REPLACE_EXISTING it takes
// the place of an existing file, never of a folder.
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
DWORD GetLastError();
void SetLastError(DWORD code);

// The active ANSI code page; the stand-in is always Japanese.
UINT GetACP();
BOOL IsDBCSLeadByte(BYTE byte);

// Microsoft C runtime.
int _access(const char* path, int mode);
int _mkdir(const char* path);
// Removes an empty folder.
int _rmdir(const char* path);
// Refused, as on Windows, while a handle that does not share deletion is open.
int _unlink(const char* path);
// Compares ignoring the case of the ASCII letters A to Z only, as the
// runtime does in its default locale.
int _stricmp(const char* a, const char* b);
