#include "Win32StandIn.h"

#include "CodePage932.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Seconds between 1601-01-01 (the FILETIME epoch) and 1970-01-01.
const int64_t UnixEpochInFileTimeSeconds = 11644473600LL;
const int64_t TicksPerSecond = 10000000LL;

// Windows path -> POSIX path: code page 932 becomes UTF-8, in which the
// backslash of a single byte is the only 0x5C left (a trail byte of that
// value is part of its character's bytes now), and becomes a slash.
std::string HostPath(const char* path) {
    std::string out = Utf8FromCodePage932(path);
    for (char& c : out)
        if (c == '\\')
            c = '/';
    return out;
}

int Fd(HANDLE file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file));
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The process's open files, for the sharing rules.
struct OpenFile {
    int Fd;
    dev_t Device;
    ino_t Inode;
    DWORD Access;
    DWORD Share;
};

std::vector<OpenFile>& OpenFiles() {
    static std::vector<OpenFile> files;
    return files;
}

thread_local DWORD LastError = NO_ERROR;

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// Whether a new handle with this access and sharing may join the handles
// already open on the file.
bool SharingAllows(const struct stat& file, DWORD access, DWORD share) {
    for (const OpenFile& open : OpenFiles()) {
        if (open.Device != file.st_dev || open.Inode != file.st_ino)
            continue;
        if (((access & GENERIC_READ) && !(open.Share & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(open.Share & FILE_SHARE_WRITE)) ||
            ((open.Access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
            ((open.Access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)))
            return false;
    }
    return true;
}

// Whether the file at a host path may be deleted or replaced: not while a
// handle on it does not share deletion.
bool DeletionAllowed(const std::string& hostPath) {
    struct stat file;
    if (stat(hostPath.c_str(), &file) != 0)
        return true;
    for (const OpenFile& open : OpenFiles())
        if (open.Device == file.st_dev && open.Inode == file.st_ino &&
            !(open.Share & FILE_SHARE_DELETE))
            return false;
    return true;
}

timespec ToTimespec(const FILETIME* t) {
    const int64_t ticks = (static_cast<int64_t>(t->dwHighDateTime) << 32) | t->dwLowDateTime;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ticks / TicksPerSecond - UnixEpochInFileTimeSeconds);
    ts.tv_nsec = static_cast<long>(ticks % TicksPerSecond) * 100;
    return ts;
}

} // namespace

UINT GetACP() {
    return 932;
}

BOOL IsDBCSLeadByte(BYTE b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
    int flags = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
    if (disposition == CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    else if (disposition == CREATE_ALWAYS)
        flags |= O_CREAT;
    else if (disposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    const std::string host = HostPath(path);
    struct stat existing;
    if (stat(host.c_str(), &existing) == 0) {
        // Windows refuses to open a folder as a file.
        if (S_ISDIR(existing.st_mode)) {
            LastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        if (!SharingAllows(existing, access, share)) {
            LastError = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
    }
    const int fd = open(host.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        LastError = ErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        LastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // Truncation only once the sharing rules have let the handle in.
    if (disposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
        LastError = ErrorFromErrno(errno);
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    OpenFiles().push_back(OpenFile{fd, info.st_dev, info.st_ino, access, share});
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

// Like ReadFile on a disk file: reads until the count is met or the file ends.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    DWORD total = 0;
    char* out = static_cast<char*>(buffer);
    while (total < count) {
        const ssize_t got = read(Fd(file), out + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (done)
                *done = total;
            return FALSE;
        }
        if (got == 0)
            break;
        total += static_cast<DWORD>(got);
    }
    if (done)
        *done = total;
    return TRUE;
}

// One write, as the system gives it: a full disk or a file-size limit may
// leave it short, and the count written says so.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    ssize_t put;
    do {
        put = write(Fd(file), buffer, count);
    } while (put < 0 && errno == EINTR);
    if (done)
        *done = put < 0 ? 0 : static_cast<DWORD>(put);
    return put < 0 ? FALSE : TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    int64_t move = distance;
    if (distanceHigh)
        move =
            static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                 static_cast<DWORD>(distance));
    const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_END ? SEEK_END : SEEK_CUR;
    const off_t at = lseek(Fd(file), static_cast<off_t>(move), whence);
    if (at < 0) {
        LastError = ERROR_ACCESS_DENIED;
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<int64_t>(at) >> 32);
    return static_cast<DWORD>(at);
}

BOOL CloseHandle(HANDLE file) {
    std::vector<OpenFile>& files = OpenFiles();
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].Fd == Fd(file)) {
            files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return close(Fd(file)) == 0 ? TRUE : FALSE;
}

// Linux keeps no creation time: the last-access and last-write times are set.
BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = times[0];
    if (lastAccess)
        times[0] = ToTimespec(lastAccess);
    if (lastWrite)
        times[1] = ToTimespec(lastWrite);
    return futimens(Fd(file), times) == 0 ? TRUE : FALSE;
}

// Validates like Windows: every field in range, years 1601 to 30827.
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999)
        return FALSE;
    const int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    const int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond +
                            UnixEpochInFileTimeSeconds;
    const int64_t ticks = seconds * TicksPerSecond + st->wMilliseconds * 10000LL;
    ft->dwLowDateTime = static_cast<DWORD>(ticks);
    ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    struct stat host;
    if (stat(HostPath(path).c_str(), &host) != 0)
        return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(host.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    const std::string source = HostPath(from);
    const std::string target = HostPath(to);
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            LastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
        if (S_ISDIR(existing.st_mode)) {
            LastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
    }
    if (!DeletionAllowed(source) || !DeletionAllowed(target)) {
        LastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    if (rename(source.c_str(), target.c_str()) != 0) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetLastError() {
    return LastError;
}

void SetLastError(DWORD code) {
    LastError = code;
}

int _access(const char* path, int mode) {
    int how = F_OK;
    if (mode & 2)
        how |= W_OK;
    if (mode & 4)
        how |= R_OK;
    return access(HostPath(path).c_str(), how);
}

int _mkdir(const char* path) {
    return mkdir(HostPath(path).c_str(), 0777);
}

int _rmdir(const char* path) {
    return rmdir(HostPath(path).c_str());
}

int _unlink(const char* path) {
    const std::string host = HostPath(path);
    if (!DeletionAllowed(host)) {
        errno = EACCES;
        return -1;
    }
    return unlink(host.c_str());
}

int _stricmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(*a);
        int cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}
