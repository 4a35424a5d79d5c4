#include "TestFiles.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include "standin/CodePage932.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

#ifdef _WIN32
const char Separator = '\\';
#else
const char Separator = '/';
#endif

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate = base / ("qm-test-" +
                                           std::to_string(
#ifdef _WIN32
                                               GetCurrentProcessId()
#else
                                               getpid()
#endif
                                                   ) +
                                           "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            Root = candidate.string();
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

std::string TempDir::Path(const std::string& relative) const {
    if (relative.empty())
        return Root;
    std::string joined = Root + Separator + relative;
    for (char& c : joined)
        if (c == '/' || c == '\\')
            c = Separator;
    return joined;
}

std::string EnginePath(const std::string& hostPath) {
    std::string out = hostPath;
#ifndef _WIN32
    if (!CodePage932FromUtf8(hostPath.c_str(), out))
        throw std::runtime_error("no code-page-932 form: " + hostPath);
#endif
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

std::string HostName(const std::string& codePage932) {
#ifdef _WIN32
    return codePage932;
#else
    return Utf8FromCodePage932(codePage932.c_str());
#endif
}

void WriteBytes(const std::string& hostPath, const std::string& bytes) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + hostPath);
}

void MakeFolder(const std::string& hostPath) {
    if (!fs::create_directory(hostPath))
        throw std::runtime_error("cannot create " + hostPath);
}

void WriteSparse(const std::string& hostPath, long long size,
                 const std::vector<std::pair<long long, std::string>>& pieces) {
#ifdef _WIN32
    HANDLE file = CreateFileA(hostPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    auto moveTo = [&](long long offset) {
        LONG high = static_cast<LONG>(offset >> 32);
        SetLastError(NO_ERROR);
        const DWORD low =
            SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    };
    for (const auto& piece : pieces) {
        DWORD put = 0;
        ok = ok && moveTo(piece.first) &&
             WriteFile(file, piece.second.data(), static_cast<DWORD>(piece.second.size()), &put,
                       nullptr) &&
             put == piece.second.size();
    }
    ok = ok && moveTo(size) && SetEndOfFile(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
#else
    const int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0;
    for (const auto& piece : pieces)
        ok = ok && pwrite(fd, piece.second.data(), piece.second.size(), piece.first) ==
                       static_cast<ssize_t>(piece.second.size());
    ok = ok && ftruncate(fd, size) == 0;
    if (fd >= 0)
        close(fd);
#endif
    if (!ok)
        throw std::runtime_error("cannot write " + hostPath);
}

std::string ReadBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + hostPath);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& hostPath) {
    std::error_code ignored;
    return fs::is_regular_file(hostPath, ignored);
}

bool FolderExists(const std::string& hostPath) {
    std::error_code ignored;
    return fs::is_directory(hostPath, ignored);
}

int CountEntries(const std::string& hostFolder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(hostFolder)) {
        (void)entry;
        ++count;
    }
    return count;
}

void SetReadOnly(const std::string& hostPath, bool readOnly) {
#ifdef _WIN32
    const bool set = SetFileAttributesA(hostPath.c_str(),
                                        readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    struct stat info;
    const bool set =
        stat(hostPath.c_str(), &info) == 0 &&
        chmod(hostPath.c_str(), readOnly ? info.st_mode & 0555 : info.st_mode | 0200) == 0;
#endif
    if (!set)
        throw std::runtime_error("cannot change the read-only state of " + hostPath);
}

bool IsReadOnly(const std::string& hostPath) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(hostPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
    struct stat info;
    return stat(hostPath.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
#endif
}

unsigned long long FileIndex(const std::string& hostPath) {
#ifdef _WIN32
    HANDLE file = CreateFileA(hostPath.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL ok = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return ok ? static_cast<unsigned long long>(information.nFileIndexHigh) << 32 |
                    information.nFileIndexLow
              : 0;
#else
    struct stat info;
    return lstat(hostPath.c_str(), &info) == 0 ? static_cast<unsigned long long>(info.st_ino) : 0;
#endif
}

long long ModifiedTime(const std::string& hostPath) {
#ifdef _WIN32
    HANDLE file = CreateFileA(hostPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    FILETIME written;
    const BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    if (!ok)
        return -1;
    const long long ticks =
        (static_cast<long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return ticks / 10000000LL - 11644473600LL;
#else
    struct stat info;
    if (stat(hostPath.c_str(), &info) != 0)
        return -1;
    return static_cast<long long>(info.st_mtime);
#endif
}

void UseTimeZone(const char* name) {
#ifdef _WIN32
    // The Microsoft runtime reads TZ in its own form: name, then the hours
    // west of UTC.
    std::string value = std::string("TZ=") + name;
    _putenv(value.c_str());
    _tzset();
#else
    setenv("TZ", name, 1);
    tzset();
#endif
}
