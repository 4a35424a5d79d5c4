// lzhpack: writes an LZH archive of level-2 members.
//
//   lzhpack [-0|-5] ARCHIVE FILE...
//   lzhpack -h | --help | --version
//
// Each FILE becomes one member under its base name, in the order given, the
// name in code page 932 (on Windows the ANSI code page, as the system gives
// it; on Linux converted from UTF-8, and refused where it has no such form):
// -lh5- by default, stored (-lh0-) where compressing would not shrink it;
// -0 stores every member, -5 compresses every non-empty member even where it
// grows. The same files always give the same archive; SOURCE_DATE_EPOCH, when
// set, caps every recorded time.
#include "CommandLine.h"
#include "DbcsText.h"
#include "ExtractorLZH.h"
#include "LzhWriter.h"
#include "Version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#include "standin/CodePage932.h"
#endif

namespace {

const int FailExit = 1;

const char UsageText[] =
    "usage: lzhpack [-0|-5] ARCHIVE FILE...\n"
    "       lzhpack -h | --help | --version\n"
    "  Writes the FILEs, in this order and under their base names, as the\n"
    "  level-2 members of the LZH archive ARCHIVE (replaced if it exists).\n"
    "  (default)  -lh5-, or stored (-lh0-) where compressing does not shrink a file\n"
    "  -0         store every member (-lh0-)\n"
    "  -5         compress every non-empty member (-lh5-), even where it grows\n"
    "  -h, --help print this text\n"
    "  --version  print the program's name and version\n"
    "  SOURCE_DATE_EPOCH, when set, caps every recorded time at that value.\n"
    "  Exit status: 0 on success, 1 on a failure, 64 for a wrong command line.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "lzhpack: %s\n", message.c_str());
    return FailExit;
}

std::string SystemError() {
    return std::strerror(errno);
}

// The file's own name: the path after its last separator. On Windows the
// path is in the ANSI code page, whose double-byte characters the engine's
// rule steps over whole (a trail byte may look like a backslash).
std::string BaseName(const std::string& path) {
#ifdef _WIN32
    const char* text = path.c_str();
    const int last =
        std::max({LastCharIndex(text, '\\'), LastCharIndex(text, '/'), LastCharIndex(text, ':')});
    return path.substr(static_cast<size_t>(last + 1));
#else
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
#endif
}

struct SourceFile {
    std::string Path;
    std::string Name; // in the archive's code page
    uint32_t Size;
    int64_t Creation, LastWrite, LastAccess;
};

#ifdef _WIN32
// Seconds since 1970 of a file time (100-ns steps since 1601).
int64_t UnixSeconds(const FILETIME& time) {
    const int64_t steps = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return steps / 10000000 - INT64_C(11644473600);
}
#endif

// Reads the times that go into the header. The last-access time is recorded
// as the last-write time: reading the file to pack it changes its access
// time, so two runs would otherwise differ. Only Windows keeps a creation
// time; elsewhere the last-write time stands in for it.
bool StatSource(SourceFile& f, std::string& error) {
#ifdef _WIN32
    // Not _stat64: the runtime's takes a last trail byte 0x5C (a name that
    // ends in ソ or 表) for a trailing backslash and finds no file.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(f.Path.c_str(), GetFileExInfoStandard, &data)) {
        error = f.Path + ": cannot be read (Windows error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    const bool regular =
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    f.Creation = UnixSeconds(data.ftCreationTime);
    f.LastWrite = UnixSeconds(data.ftLastWriteTime);
#else
    struct stat st;
    if (stat(f.Path.c_str(), &st) != 0) {
        error = f.Path + ": " + SystemError();
        return false;
    }
    const bool regular = S_ISREG(st.st_mode);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    f.LastWrite = static_cast<int64_t>(st.st_mtime);
    f.Creation = f.LastWrite;
#endif
    if (!regular) {
        error = f.Path + ": not a regular file";
        return false;
    }
    if (size > 0x7FFFFFFFu) {
        error = f.Path + ": larger than 2 GiB, the most a member can hold";
        return false;
    }
    f.Size = static_cast<uint32_t>(size);
    f.LastAccess = f.LastWrite;
    return true;
}

// SOURCE_DATE_EPOCH as the reproducible-builds convention defines it: a
// decimal count of seconds since 1970; -1 when unset.
bool SourceDateEpoch(int64_t& epoch, std::string& error) {
    epoch = -1;
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text)
        return true;
    int64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || value > (static_cast<int64_t>(1) << 40)) {
            error = std::string("SOURCE_DATE_EPOCH is not a count of seconds: ") + text;
            return false;
        }
        value = value * 10 + (*p - '0');
    }
    epoch = value;
    return true;
}

void ClampTimes(SourceFile& f, int64_t epoch) {
    if (epoch < 0)
        return;
    if (f.Creation > epoch)
        f.Creation = epoch;
    if (f.LastWrite > epoch)
        f.LastWrite = epoch;
    if (f.LastAccess > epoch)
        f.LastAccess = epoch;
}

bool PrepareSources(const std::vector<std::string>& paths, std::vector<SourceFile>& files,
                    std::string& error) {
    int64_t epoch;
    if (!SourceDateEpoch(epoch, error))
        return false;
    std::set<std::string> names;
    for (const std::string& path : paths) {
        SourceFile f;
        f.Path = path;
        f.Name = BaseName(path);
#ifndef _WIN32
        std::string name;
        if (!CodePage932FromUtf8(f.Name.c_str(), name)) {
            error =
                path + ": the name has no form in code page 932, in which an archive keeps names";
            return false;
        }
        f.Name = name;
#endif
        // The engine would extract the member under the part after such a
        // byte, and another reader might make a folder of what stands before.
        if (CExtractorLZH::BaseName(f.Name.c_str()) != f.Name.c_str()) {
            error = path + ": the name holds \\, : or the byte 0xFF, which an archive's readers "
                           "take for a folder separator";
            return false;
        }
        if (f.Name.empty() || f.Name.size() > MaxMemberName) {
            error = path + ": the base name must have 1 to 259 bytes in the archive's code page";
            return false;
        }
        if (!names.insert(f.Name).second) {
            error = path + ": a member named " + BaseName(path) + " is already in the archive";
            return false;
        }
        if (!StatSource(f, error))
            return false;
        ClampTimes(f, epoch);
        files.push_back(f);
    }
    return true;
}

// Packs one file, read as it is packed: its memory does not grow with it.
bool WriteMember(FILE* out, const SourceFile& f, PackMode mode, std::string& error) {
    FILE* in = std::fopen(f.Path.c_str(), "rb");
    if (!in) {
        error = f.Path + ": " + SystemError();
        return false;
    }
    MemberRecord m;
    m.Name = f.Name;
    m.OriginalSize = f.Size;
    m.Creation = f.Creation;
    m.LastWrite = f.LastWrite;
    m.LastAccess = f.LastAccess;
    PackResult result = PackMember(out, in, m, mode);
    std::fclose(in);
    switch (result) {
    case PackResult::Written:
        break;
    case PackResult::ReadFailed:
        error = f.Path + ": cannot be read";
        return false;
    case PackResult::SizeChanged:
        error = f.Path + ": the file changed size while it was read";
        return false;
    case PackResult::WriteFailed:
        error = SystemError();
        return false;
    }
    std::printf("%s: %u -> %u bytes (%s)\n", BaseName(f.Path).c_str(),
                static_cast<unsigned>(m.OriginalSize), static_cast<unsigned>(m.PackedSize),
                MethodNames[m.Compressed ? MethodLH5 : MethodLH0]);
    return true;
}

// Moves the finished archive over the old one in one step, so that there is
// always one of them.
bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = EACCES;
    return false;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// The part file being written, for an interrupt to remove; empty while there
// is none. A fixed buffer, which a signal handler may read at any moment.
char PartFile[4096];

// SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on Windows): the part file
// goes at once, whatever is being packed, and lzhpack exits with 128 + the
// signal (130 for Ctrl-C). Only calls that a signal handler may make.
extern "C" void OnInterrupt(int signal) {
#ifdef _WIN32
    DeleteFileA(PartFile);
#else
    unlink(PartFile);
#endif
    _exit(128 + signal);
}

// On Windows the part file is shared for deletion, so that an interrupt can
// delete it while it is open; it goes when the process has ended.
FILE* CreatePartFile(const std::string& path) {
#ifdef _WIN32
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* out = _fdopen(fd, "wb");
    if (!out)
        _close(fd);
    return out;
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

} // namespace

int main(int argc, char** argv) {
    PackMode mode = PackMode::Auto;
    int methods = 0; // -0 and -5 given: one at most
    bool help = false, version = false, wrong = false;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] != '\0'; ++arg) {
        const std::string option = argv[arg];
        if (option == "--") {
            ++arg;
            break;
        }
        if (option == "-0" || option == "-5") {
            mode = option == "-0" ? PackMode::Store : PackMode::ForceLH5;
            ++methods;
        } else if (option == "-h" || option == "--help") {
            help = true;
        } else if (option == "--version") {
            version = true;
        } else {
            wrong = true;
        }
    }
    if (wrong || methods > 1)
        return Usage(UsageText, false);
    if (help)
        return Usage(UsageText, true);
    if (version) {
        std::printf("lzhpack %s\n", ToolsVersion);
        return 0;
    }
    if (argc - arg < 2)
        return Usage(UsageText, false);
    std::string archive = argv[arg];
    std::vector<std::string> paths(argv + arg + 1, argv + argc);

    std::vector<SourceFile> files;
    std::string error;
    if (!PrepareSources(paths, files, error))
        return Fail(error);

    // The archive is written under a temporary name and renamed at the end:
    // a failure leaves any earlier archive as it was, and an input that is
    // the archive itself is read before it is replaced.
    std::string temporary = archive + ".part";
    if (temporary.size() >= sizeof PartFile)
        return Fail(temporary + ": the path is too long");
    std::memcpy(PartFile, temporary.c_str(), temporary.size() + 1);
    CatchInterrupts(OnInterrupt);
    FILE* out = CreatePartFile(temporary);
    if (!out)
        return Fail(temporary + ": " + SystemError());
    bool ok = true;
    for (const SourceFile& f : files)
        if (!WriteMember(out, f, mode, error)) {
            ok = false;
            break;
        }
    if (ok && std::fputc(0, out) == EOF) { // the end marker
        ok = false;
        error = SystemError();
    }
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        error = SystemError();
    }
    if (ok && !ReplaceFile(temporary, archive)) {
        ok = false;
        error = SystemError();
    }
    if (ok)
        PartFile[0] = 0;
    if (!ok) {
        std::remove(temporary.c_str());
        return Fail(archive + ": " + error);
    }
    return 0;
}
