#include "Win32StandIn.h"

#include "CodePage932.h"
#include "DbcsText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
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

// The process's open files, for the sharing rules and for what Windows
// keeps of a file while it is open: its name, and a pending deletion.
struct OpenFile {
    int Fd;
    dev_t Device;
    ino_t Inode;
    DWORD Access;
    DWORD Share;
    std::string Path;   // host path: the name it was opened by or renamed to
    bool Unnamed;       // made with O_TMPFILE and not linked yet: Path is only held
    bool DeletePending; // the same on every handle of the file
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

bool SameFile(const OpenFile& open, dev_t device, ino_t inode) {
    return open.Device == device && open.Inode == inode;
}

OpenFile* EntryOf(HANDLE file) {
    for (OpenFile& open : OpenFiles())
        if (open.Fd == Fd(file))
            return &open;
    return nullptr;
}

// The unnamed file that holds this name, if any.
const OpenFile* HolderOf(const std::string& hostPath) {
    for (const OpenFile& open : OpenFiles())
        if (open.Unnamed && open.Path == hostPath)
            return &open;
    return nullptr;
}

// The status of the file of this name: through the descriptor of the
// unnamed file that holds it, where one does. False, with LastError set,
// when there is no such file.
bool StatHostPath(const std::string& hostPath, const OpenFile* holder, struct stat& info) {
    if (holder ? fstat(holder->Fd, &info) == 0 : stat(hostPath.c_str(), &info) == 0)
        return true;
    LastError = ErrorFromErrno(errno);
    return false;
}

bool NameTaken(const std::string& hostPath) {
    struct stat entry;
    return lstat(hostPath.c_str(), &entry) == 0 || HolderOf(hostPath) != nullptr;
}

// The runtime's case in the default locale: only the ASCII letters fold.
int LowerAscii(char c) {
    const int b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b;
}

bool IsReadOnly(const struct stat& file) {
    return S_ISREG(file.st_mode) && (file.st_mode & 0222) == 0;
}

bool DeletionPending(dev_t device, ino_t inode) {
    for (const OpenFile& open : OpenFiles())
        if (SameFile(open, device, inode) && open.DeletePending)
            return true;
    return false;
}

// Whether a new handle with this access and sharing may join the handles
// already open on the file.
bool SharingAllows(dev_t device, ino_t inode, DWORD access, DWORD share) {
    for (const OpenFile& open : OpenFiles()) {
        if (!SameFile(open, device, inode))
            continue;
        if (((access & GENERIC_READ) && !(open.Share & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(open.Share & FILE_SHARE_WRITE)) ||
            ((access & DELETE) && !(open.Share & FILE_SHARE_DELETE)) ||
            ((open.Access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
            ((open.Access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) ||
            ((open.Access & DELETE) && !(share & FILE_SHARE_DELETE)))
            return false;
    }
    return true;
}

bool EveryHandleSharesDeletion(dev_t device, ino_t inode) {
    for (const OpenFile& open : OpenFiles())
        if (SameFile(open, device, inode) && !(open.Share & FILE_SHARE_DELETE))
            return false;
    return true;
}

// Whether the file at a host path may be deleted or replaced: not while a
// handle on it does not share deletion.
bool DeletionAllowed(const std::string& hostPath) {
    if (const OpenFile* holder = HolderOf(hostPath))
        return EveryHandleSharesDeletion(holder->Device, holder->Inode);
    struct stat file;
    if (stat(hostPath.c_str(), &file) != 0)
        return true;
    return EveryHandleSharesDeletion(file.st_dev, file.st_ino);
}

std::string FolderOf(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string NameOf(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

bool SyncFolder(const std::string& hostPath) {
    const int folder = open(FolderOf(hostPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const bool synced = fsync(folder) == 0;
    close(folder);
    return synced;
}

// Gives an unnamed file the name it holds, on every handle of it: through
// /proc, or, without it, through the descriptor itself (which takes the
// right to open any file by its inode, as root has).
bool LinkUnnamed(const OpenFile& file) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.Fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.Path.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        (errno != ENOENT || linkat(file.Fd, "", AT_FDCWD, file.Path.c_str(), AT_EMPTY_PATH) != 0)) {
        LastError = errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
        return false;
    }
    for (OpenFile& open : OpenFiles())
        if (SameFile(open, file.Device, file.Inode))
            open.Unnamed = false;
    return true;
}

// The tests' failures on purpose and record of calls.
std::vector<std::string>& CallsToFail() {
    static std::vector<std::string> calls;
    return calls;
}

bool FailsOnPurpose(const char* call) {
    std::vector<std::string>& calls = CallsToFail();
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == call) {
            calls.erase(calls.begin() + static_cast<std::ptrdiff_t>(i));
            LastError = ERROR_WRITE_FAULT;
            return true;
        }
    }
    return false;
}

bool Recording = false;

std::vector<std::string>& RecordedLines() {
    static std::vector<std::string> lines;
    return lines;
}

void Record(const char* call, HANDLE file) {
    if (!Recording)
        return;
    const OpenFile* open = EntryOf(file);
    RecordedLines().push_back(std::string(call) + " " + (open ? NameOf(open->Path) : "?"));
}

// UTF-8 and UTF-16, through iconv, with one converter for each way, opened
// once and reset for each use; false for a sequence that has no
// counterpart, or a result that does not fit. Code page 932 itself is
// converted only by CodePage932.h.
iconv_t Utf16FromUtf8() {
    static const iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    return converter;
}

iconv_t Utf8FromUtf16() {
    static const iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
    return converter;
}

bool Convert(iconv_t converter, const char* in, size_t inBytes, char* out, size_t& outBytes) {
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* source = const_cast<char*>(in);
    char* target = out;
    size_t room = outBytes;
    const bool done =
        iconv(converter, &source, &inBytes, &target, &room) != static_cast<size_t>(-1);
    outBytes -= room;
    return done && inBytes == 0;
}

// A wide Windows path as the host names it: UTF-8, with slashes.
bool HostPathFromWide(const WCHAR* wide, size_t count, std::string& host) {
    std::vector<char> out(count * 3 + 1);
    size_t size = out.size();
    if (!Convert(Utf8FromUtf16(), reinterpret_cast<const char*>(wide), count * sizeof(WCHAR),
                 out.data(), size))
        return false;
    host.assign(out.data(), size);
    for (char& c : host)
        if (c == '\\')
            c = '/';
    return host.find('\0') == std::string::npos;
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
    return IsLeadByte932(b);
}

// Every sequence that has no counterpart fails, with or without
// MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, WCHAR* wide,
                        int room) {
    if (codePage != CP_ACP && codePage != 932) {
        LastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const std::string narrow =
        length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    // As Windows converts: bytes outside the code page become its default
    // character, or fail the call where MB_ERR_INVALID_CHARS asks so.
    const std::string utf8 = Utf8FromCodePage932(narrow.c_str());
    std::string back;
    const bool valid = CodePage932FromUtf8(utf8.c_str(), back) && back == narrow;
    std::vector<WCHAR> out(utf8.size() + 2);
    size_t size = out.size() * sizeof(WCHAR);
    if (((flags & MB_ERR_INVALID_CHARS) != 0 && !valid) || narrow.find('\0') != std::string::npos ||
        !Convert(Utf16FromUtf8(), utf8.c_str(), utf8.size() + (length < 0 ? 1 : 0),
                 reinterpret_cast<char*>(out.data()), size)) {
        LastError = ERROR_NO_UNICODE_TRANSLATION;
        return 0;
    }
    const int count = static_cast<int>(size / sizeof(WCHAR));
    if (room == 0)
        return count;
    if (count > room) {
        LastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(wide, out.data(), size);
    return count;
}

namespace {

// An unnamed file in the folder of hostPath, or -1 with errno set; EOPNOTSUPP
// where the file system makes none.
int CreateUnnamed(const std::string& hostPath) {
    return open(FolderOf(hostPath).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
}

bool NoUnnamedFilesHere(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
    int flags = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
    if (disposition == CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    else if (disposition == CREATE_ALWAYS)
        flags |= O_CREAT;
    else if (disposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    if (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT)
        flags |= O_NOFOLLOW;
    const std::string host = HostPath(path);
    if (HolderOf(host) != nullptr) {
        LastError = disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    struct stat existing;
    const bool exists = stat(host.c_str(), &existing) == 0;
    if (exists) {
        // Windows refuses to open a folder as a file.
        if (S_ISDIR(existing.st_mode) || DeletionPending(existing.st_dev, existing.st_ino) ||
            (IsReadOnly(existing) && ((access & GENERIC_WRITE) || disposition == CREATE_ALWAYS))) {
            LastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        if (!SharingAllows(existing.st_dev, existing.st_ino, access, share)) {
            LastError = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
    }
    bool unnamed = false;
    int fd = -1;
    if (disposition == CREATE_NEW && (access & DELETE) && !exists && !NameTaken(host)) {
        fd = CreateUnnamed(host);
        unnamed = fd >= 0;
        if (fd < 0 && !NoUnnamedFilesHere(errno)) {
            LastError = ErrorFromErrno(errno);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (fd < 0)
        fd = open(host.c_str(), flags | O_CLOEXEC, 0666);
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
    OpenFiles().push_back(
        OpenFile{fd, info.st_dev, info.st_ino, access, share, host, unnamed, false});
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
    Record("WriteFile", file);
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

BOOL FlushFileBuffers(HANDLE file) {
    Record("FlushFileBuffers", file);
    if (FailsOnPurpose("FlushFileBuffers"))
        return FALSE;
    if (fsync(Fd(file)) != 0) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

// What the end of a file's last handle does on Windows: a file whose
// deletion is pending goes (by its name, if that is still this file), and an
// unnamed one that is to stay takes its name.
bool LastHandleClosed(const OpenFile& file) {
    if (file.DeletePending && !file.Unnamed) {
        struct stat named;
        if (lstat(file.Path.c_str(), &named) == 0 && named.st_dev == file.Device &&
            named.st_ino == file.Inode)
            unlink(file.Path.c_str());
    } else if (!file.DeletePending && file.Unnamed) {
        return LinkUnnamed(file);
    }
    return true;
}

} // namespace

BOOL CloseHandle(HANDLE file) {
    Record("CloseHandle", file);
    BOOL result = TRUE;
    std::vector<OpenFile>& files = OpenFiles();
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].Fd != Fd(file))
            continue;
        const OpenFile closing = files[i];
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
        bool last = true;
        for (const OpenFile& open : files)
            last = last && !SameFile(open, closing.Device, closing.Inode);
        if (last && !LastHandleClosed(closing))
            result = FALSE;
        break;
    }
    if (close(Fd(file)) != 0) {
        LastError = ErrorFromErrno(errno);
        result = FALSE;
    }
    if (FailsOnPurpose("CloseHandle"))
        result = FALSE;
    return result;
}

namespace {

BOOL SetDisposition(OpenFile& file, const FILE_DISPOSITION_INFO& disposition) {
    struct stat info;
    if (disposition.DeleteFile && fstat(file.Fd, &info) == 0 && IsReadOnly(info)) {
        LastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (!disposition.DeleteFile && file.Unnamed && !LinkUnnamed(file))
        return FALSE;
    for (OpenFile& open : OpenFiles())
        if (SameFile(open, file.Device, file.Inode))
            open.DeletePending = disposition.DeleteFile != 0;
    return TRUE;
}

BOOL Rename(OpenFile& file, const FILE_RENAME_INFO& rename, DWORD size) {
    if (rename.ReplaceIfExists) {
        LastError = ERROR_NOT_SUPPORTED;
        return FALSE;
    }
    std::string target;
    if (size < offsetof(FILE_RENAME_INFO, FileName) + rename.FileNameLength ||
        !HostPathFromWide(rename.FileName, rename.FileNameLength / sizeof(WCHAR), target)) {
        LastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (target == file.Path)
        return TRUE;
    if (NameTaken(target)) {
        LastError = ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    if (!file.Unnamed && ::rename(file.Path.c_str(), target.c_str()) != 0) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    const std::string source = file.Path;
    for (OpenFile& open : OpenFiles())
        if (SameFile(open, file.Device, file.Inode) && open.Path == source)
            open.Path = target;
    return TRUE;
}

DWORD AttributesOf(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISLNK(info.st_mode))
        return FILE_ATTRIBUTE_REPARSE_POINT;
    return IsReadOnly(info) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

} // namespace

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                DWORD size) {
    OpenFile* open = EntryOf(file);
    if (open == nullptr || !(open->Access & DELETE)) {
        LastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (kind == FileDispositionInfo && size >= sizeof(FILE_DISPOSITION_INFO))
        return SetDisposition(*open, *static_cast<const FILE_DISPOSITION_INFO*>(information));
    if (kind == FileRenameInfo && size >= sizeof(FILE_RENAME_INFO))
        return Rename(*open, *static_cast<const FILE_RENAME_INFO*>(information), size);
    LastError = ERROR_INVALID_PARAMETER;
    return FALSE;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
    struct stat info;
    if (fstat(Fd(file), &info) != 0) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    const OpenFile* open = EntryOf(file);
    const uint64_t index = static_cast<uint64_t>(info.st_ino);
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    std::memset(information, 0, sizeof *information);
    information->dwFileAttributes = AttributesOf(info);
    information->dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size);
    // An unnamed file counts the name it holds.
    information->nNumberOfLinks =
        static_cast<DWORD>(info.st_nlink) + (open && open->Unnamed ? 1 : 0);
    information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index);
    return TRUE;
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
    const std::string host = HostPath(path);
    struct stat info;
    if (!StatHostPath(host, HolderOf(host), info))
        return INVALID_FILE_ATTRIBUTES;
    return AttributesOf(info);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    const std::string host = HostPath(path);
    const OpenFile* holder = HolderOf(host);
    struct stat info;
    if (!StatHostPath(host, holder, info))
        return FALSE;
    if (!S_ISREG(info.st_mode))
        return TRUE;
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~0222;
    else if (IsReadOnly(info))
        mode |= S_IWUSR | ((mode & 0044) >> 1);
    if ((holder ? fchmod(holder->Fd, mode) : chmod(host.c_str(), mode)) != 0) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    const std::string source = HostPath(from);
    const std::string target = HostPath(to);
    if (Recording)
        RecordedLines().push_back("MoveFileExA " + NameOf(source) + " " + NameOf(target) +
                                  ((flags & MOVEFILE_WRITE_THROUGH) ? " write-through" : ""));
    if (FailsOnPurpose("MoveFileExA"))
        return FALSE;
    // A file that has no name on the disk yet is held open without shared
    // deletion, or Windows could move it; here it cannot be moved by name.
    if (HolderOf(source) != nullptr || HolderOf(target) != nullptr) {
        LastError = ERROR_SHARING_VIOLATION;
        return FALSE;
    }
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            LastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
        if (S_ISDIR(existing.st_mode) || IsReadOnly(existing)) {
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
    // Handles on the file follow it to its new name.
    for (OpenFile& open : OpenFiles())
        if (open.Path == source)
            open.Path = target;
    if ((flags & MOVEFILE_WRITE_THROUGH) &&
        (!SyncFolder(target) || (FolderOf(source) != FolderOf(target) && !SyncFolder(source)))) {
        LastError = ErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

// An open search of FindFirstFileA: the folder and the pattern of names.
struct FileSearch {
    DIR* Folder;
    std::string Pattern;
};

bool Matches(const char* pattern, const char* name) {
    for (;; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest))
                    return true;
                if (*rest == 0)
                    return false;
            }
        }
        if (*name == 0 || *pattern == 0)
            return *name == *pattern;
        const int a = LowerAscii(*pattern);
        if (a != '?' && a != LowerAscii(*name))
            return false;
    }
}

bool NextMatch(FileSearch& search, WIN32_FIND_DATAA* found) {
    while (const dirent* entry = readdir(search.Folder)) {
        struct stat info;
        if (std::strlen(entry->d_name) >= sizeof found->cFileName ||
            !Matches(search.Pattern.c_str(), entry->d_name) ||
            fstatat(dirfd(search.Folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        std::memset(found, 0, sizeof *found);
        found->dwFileAttributes = AttributesOf(info);
        std::strcpy(found->cFileName, entry->d_name);
        return true;
    }
    LastError = ERROR_NO_MORE_FILES;
    return false;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
    const std::string host = HostPath(pattern);
    DIR* folder = opendir(FolderOf(host).c_str());
    if (folder == nullptr) {
        LastError = ErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    FileSearch* search = new FileSearch{folder, NameOf(host)};
    if (!NextMatch(*search, found)) {
        FindClose(search);
        LastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found) {
    return NextMatch(*static_cast<FileSearch*>(search), found) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE search) {
    FileSearch* open = static_cast<FileSearch*>(search);
    closedir(open->Folder);
    delete open;
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
    struct stat info;
    if (HolderOf(host) != nullptr || !DeletionAllowed(host) ||
        (stat(host.c_str(), &info) == 0 && IsReadOnly(info))) {
        errno = EACCES;
        return -1;
    }
    return unlink(host.c_str());
}

int _stricmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int ca = LowerAscii(*a);
        const int cb = LowerAscii(*b);
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

void StandInFailNext(const char* call) {
    if (call == nullptr)
        CallsToFail().clear();
    else
        CallsToFail().push_back(call);
}

void StandInRecord(bool on) {
    Recording = on;
    if (on)
        RecordedLines().clear();
}

const char* StandInRecorded(int line) {
    const std::vector<std::string>& lines = RecordedLines();
    return line >= 0 && static_cast<size_t>(line) < lines.size() ? lines[line].c_str() : nullptr;
}
