// lzhpack: writes an LZH archive of level-2 members.
//
//   lzhpack [-0|-5] ARCHIVE FILE...
//
// Each FILE becomes one member under its base name, in the order given:
// -lh5- by default, stored (-lh0-) where compressing would not shrink it;
// -0 stores every member, -5 compresses every non-empty member even where it
// grows. The same files always give the same archive; SOURCE_DATE_EPOCH, when
// set, caps every recorded time.
#include "LzhWriter.h"

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
#include <windows.h>
#endif

namespace {

const int UsageExit = 64;
const int FailExit = 1;

int Usage() {
    std::fprintf(stderr,
                 "usage: lzhpack [-0|-5] ARCHIVE FILE...\n"
                 "  Writes the FILEs, in this order and under their base names, as the\n"
                 "  level-2 members of the LZH archive ARCHIVE (replaced if it exists).\n"
                 "  (default) -lh5-, or stored (-lh0-) where compressing does not shrink a file\n"
                 "  -0        store every member (-lh0-)\n"
                 "  -5        compress every non-empty member (-lh5-), even where it grows\n"
                 "  SOURCE_DATE_EPOCH, when set, caps every recorded time at that value.\n");
    return UsageExit;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lzhpack: %s\n", message.c_str());
    return FailExit;
}

std::string SystemError() {
    return std::strerror(errno);
}

// The name a member gets: the path after its last separator. On Windows the
// path is in the ANSI code page, so a double-byte character whose trail byte
// looks like a backslash is stepped over whole.
std::string BaseName(const std::string& path) {
    size_t start = 0;
#ifdef _WIN32
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':')
            start = i + 1;
    }
#else
    size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        start = slash + 1;
#endif
    return path.substr(start);
}

struct SourceFile {
    std::string Path;
    std::string Name;
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
        if (f.Name.empty() || f.Name.size() > MaxMemberName) {
            error = path + ": the base name must have 1 to 259 bytes";
            return false;
        }
        if (!names.insert(f.Name).second) {
            error = path + ": a member named " + f.Name + " is already in the archive";
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
    std::printf("%s: %u -> %u bytes (%s)\n", f.Name.c_str(), static_cast<unsigned>(m.OriginalSize),
                static_cast<unsigned>(m.PackedSize), m.Compressed ? "-lh5-" : "-lh0-");
    return true;
}

// Moves the finished archive over the old one; Windows renames only onto a
// name that is free.
bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    std::remove(to.c_str());
#endif
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    PackMode mode = PackMode::Auto;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] != '\0'; ++arg) {
        if (std::strcmp(argv[arg], "-0") == 0)
            mode = PackMode::Store;
        else if (std::strcmp(argv[arg], "-5") == 0)
            mode = PackMode::ForceLH5;
        else if (std::strcmp(argv[arg], "--") == 0) {
            ++arg;
            break;
        } else
            return Usage();
    }
    if (argc - arg < 2)
        return Usage();
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
    FILE* out = std::fopen(temporary.c_str(), "wb");
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
    if (!ok) {
        std::remove(temporary.c_str());
        return Fail(archive + ": " + error);
    }
    return 0;
}
