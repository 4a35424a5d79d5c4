// libFuzzer target: a whole extraction job on the input as the archive file.
//
// The input is written to a file in a private temporary folder and extracted
// into a destination folder beside it with Begin and Step, as the progress
// dialog does. Checked on every input:
// - nothing appears in the temporary folder besides the archive file and the
//   destination folder, the destination holds only regular files, the archive
//   file is left unchanged and no file handle stays open;
// - every file in the destination belongs to a member that was completed:
//   its size, CRC-16 and time agree with that member's header; the member a
//   failure or a cancel interrupts leaves no file behind; after a success
//   every member's file is there and complete; a folder entry leaves none;
// - Step makes progress: a member takes at most as many steps as its size
//   allows (a stored step copies up to 16,384 bytes, a -lh5- step produces at
//   least one byte), so a job that steps on without end is found as a crash;
// - the same engine object runs the same job a second time with the same
//   outcome (it serves every job of a run);
// - a job without a destination writes nothing, finds no failure where the
//   full job extracted every member, fails the member that failed the full
//   job in its data or by its method with the same code, and goes on;
// - a job for a member that is not there walks the headers to where the full
//   job's chain ended; a job for the last member the first one opened, by
//   its name in the other case of its ASCII letters, must skip to a member
//   of that name, open it and extract it alone.
// Jobs that would produce more than a budget of output are cancelled with
// Abort; that is not a finding, and the cancel itself is checked.
#include "ArchiveBuilder.h" // Crc16, the tests' own, independent of the engine's
#include "DbcsText.h"
#include "ExtractorLZH.h"
#include "FuzzCheck.h"
#include "ReferenceLH5.h"
#include "standin/CodePage932.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Work per input before the job is cancelled: steps, and bytes of output as
// far as the engine's progress shows them. A -lh5- symbol of a real code
// takes at least one bit, so four steps per input byte finish nearly every
// member coded that way; members of zero-bit symbols (constant codes, data
// that has run out, where each step may rebuild all three tables) are cut
// short instead of taking seconds.
long long StepBudget(size_t fileSize) {
    const long long budget = 1024 + 4 * static_cast<long long>(fileSize);
    return budget < 32768 ? budget : 32768;
}
const long long OutputBudget = 16LL << 20;

// ---------------------------------------------------------------------------
// The private folder: <tmp>/qm-fuzz-XXXXXX holding archive.lzh and out/.

struct Workspace {
    std::string Root;          // host path
    std::string Archive;       // host path
    std::string Out;           // host path
    std::string EngineArchive; // the same paths in Windows form
    std::string EngineOut;     // ends with a backslash, as the driver's does
};

std::string WindowsPath(const std::string& host) {
    std::string out = host;
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

void RemoveTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        if (DIR* dir = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
            for (const std::string& name : names)
                RemoveTree(path + "/" + name);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

Workspace& Space() {
    static Workspace* space = nullptr;
    if (space == nullptr) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        FUZZ_CHECK(mkdtemp(buffer.data()) != nullptr, "cannot make a folder from %s",
                   pattern.c_str());
        space = new Workspace;
        space->Root = buffer.data();
        space->Archive = space->Root + "/archive.lzh";
        space->Out = space->Root + "/out";
        space->EngineArchive = WindowsPath(space->Archive);
        space->EngineOut = WindowsPath(space->Out) + "\\";
        std::atexit([] { RemoveTree(space->Root); });
    }
    return *space;
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

int OpenFileCount() {
    return static_cast<int>(List("/proc/self/fd").size());
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return bytes;
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, data + done, size - done);
        FUZZ_CHECK(put > 0, "cannot write %s", path.c_str());
        done += static_cast<size_t>(put);
    }
    close(fd);
}

// ---------------------------------------------------------------------------
// Files in the destination and what a completed member's file looks like.

// The archive file's bytes, for the job in progress.
std::string& Input() {
    static std::string* input = new std::string;
    return *input;
}

struct FileFacts {
    bool Regular = false;
    long long Size = 0;
    uint16_t Crc = 0;
    long long ModifiedTime = 0;
    std::string Content;
};

bool Inspect(const std::string& path, FileFacts& facts) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return false;
    facts.Regular = S_ISREG(info.st_mode);
    facts.Size = info.st_size;
    facts.ModifiedTime = info.st_mtime;
    if (facts.Regular) {
        facts.Content = ReadAll(path);
        facts.Crc = Crc16(facts.Content);
    }
    return true;
}

std::map<std::string, FileFacts> Destination() {
    std::map<std::string, FileFacts> files;
    for (const std::string& name : List(Space().Out)) {
        FileFacts facts;
        if (Inspect(Space().Out + "/" + name, facts))
            files[name] = facts;
    }
    return files;
}

bool Exists(const std::string& name) {
    struct stat info;
    return lstat((Space().Out + "/" + name).c_str(), &info) == 0;
}

// The file a member's name gives: the stand-in names files in UTF-8, converted
// as Windows converts the name (two names may give one file: a lead byte at
// the end is dropped).
std::string FileName(const MemberHeaderLZH& h) {
    return Utf8FromCodePage932(h.Name);
}

std::string Describe(const MemberHeaderLZH& h) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "member \"%.60s\" (method %d, header %d, packed %d, unpacked %d, time %d, "
                  "crc %s%04X)",
                  h.Name, h.MethodIndex, h.HeaderSize, h.PackedSize, h.UnpackedSize, h.TimeStamp,
                  h.HasFileCrc ? "" : "none ", h.FileCrc);
    return text;
}

bool SameHeader(const MemberHeaderLZH& a, const MemberHeaderLZH& b) {
    return a.HeaderSize == b.HeaderSize && a.MethodIndex == b.MethodIndex &&
           a.PackedSize == b.PackedSize && a.UnpackedSize == b.UnpackedSize &&
           a.TimeStamp == b.TimeStamp && std::memcmp(a.Name, b.Name, PathSize) == 0 &&
           a.HasFileCrc == b.HasFileCrc && a.FileCrc == b.FileCrc;
}

// Every place in the archive file where a header parses (a second engine
// tries every candidate position), with what it parses to; made once per
// input, when first needed.
struct ParsedAt {
    size_t Offset;
    MemberHeaderLZH Header;
};

std::vector<ParsedAt>& HeadersInInput(bool reset = false) {
    static std::vector<ParsedAt>* found = new std::vector<ParsedAt>;
    static bool known = false;
    if (reset) {
        found->clear();
        known = false;
        return *found;
    }
    if (!known) {
        static CExtractorLZH* parser = new CExtractorLZH();
        const std::string& input = Input();
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(input.data());
        for (size_t i = 0; i + MinHeaderSize <= input.size(); ++i) {
            if (bytes[i + 2] == '-' && bytes[i + 6] == '-' &&
                parser->ParseHeader(bytes + i, static_cast<int>(input.size() - i)) &&
                parser->GetHeader().HeaderSize > 0)
                found->push_back({i, parser->GetHeader()});
        }
        known = true;
    }
    return *found;
}

// Calls `matches` with the data of each place in the archive file where a
// header parses to exactly this member, until it returns true. The data are
// the PackedSize bytes after the header, as far as the file has them.
template <class Matches> bool AnyMemberData(const MemberHeaderLZH& h, Matches matches) {
    const std::string& input = Input();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (const ParsedAt& at : HeadersInInput()) {
        if (!SameHeader(at.Header, h))
            continue;
        const size_t data = at.Offset + static_cast<size_t>(h.HeaderSize);
        size_t available = data < input.size() ? input.size() - data : 0;
        if (available > static_cast<size_t>(h.PackedSize))
            available = static_cast<size_t>(h.PackedSize);
        if (matches(bytes + data, available))
            return true;
    }
    return false;
}

// -lh0- and -lz4-, stored data.
bool IsStored(const MemberHeaderLZH& h) {
    return h.MethodIndex == MethodLH0 || h.MethodIndex == MethodLZ4;
}

bool IsFolderEntry(const MemberHeaderLZH& h) {
    return h.MethodIndex == MethodDirectory;
}

// A stored member's file is a copy of its data.
bool IsStoredCopy(const MemberHeaderLZH& h, const std::string& content) {
    const size_t size = static_cast<size_t>(h.UnpackedSize);
    return content.size() == size &&
           AnyMemberData(h, [&](const unsigned char* data, size_t available) {
               return available >= size && std::memcmp(data, content.data(), size) == 0;
           });
}

// A -lh5- member's file is what the reference decoder makes of its data.
// Decoded once per member and content in a job, however often it is checked.
std::map<std::string, bool>& DecodeCache() {
    static std::map<std::string, bool>* cache = new std::map<std::string, bool>;
    return *cache;
}

bool IsDecodedData(const MemberHeaderLZH& h, const std::string& content) {
    char fields[120];
    std::snprintf(fields, sizeof fields, "%d/%d/%d/%d/%d/%d/%d/", h.HeaderSize, h.MethodIndex,
                  h.PackedSize, h.UnpackedSize, h.TimeStamp, h.HasFileCrc ? 1 : 0, h.FileCrc);
    const std::string key = fields + std::string(h.Name) + "/" + content;
    const auto known = DecodeCache().find(key);
    if (known != DecodeCache().end())
        return known->second;
    std::string decoded;
    const bool same = AnyMemberData(h, [&](const unsigned char* data, size_t available) {
        return reference::Decode(data, available, h.UnpackedSize, content.size() + MaxMatch,
                                 decoded) &&
               decoded == content;
    });
    DecodeCache()[key] = same;
    return same;
}

// Whether the member must extract without error: at every place where its
// header parses, its data lie wholly inside the file, and the reference
// decoder (or, for a stored member, the plain copy) gives them in full and
// with the CRC-16 that the header records. Only members of up to 1 MiB are
// judged; false for the rest.
bool MustComplete(const MemberHeaderLZH& h) {
    const long long limit = 1 << 20;
    if (h.UnpackedSize > limit)
        return false;
    const std::string& input = Input();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(input.data());
    bool any = false;
    for (const ParsedAt& at : HeadersInInput()) {
        if (!SameHeader(at.Header, h))
            continue;
        const size_t data = at.Offset + static_cast<size_t>(h.HeaderSize);
        const size_t packed = static_cast<size_t>(h.PackedSize);
        if (data > input.size() || input.size() - data < packed)
            return false;
        std::string out;
        if (h.MethodIndex == MethodLH5) {
            if (!reference::Decode(bytes + data, packed, h.UnpackedSize,
                                   static_cast<size_t>(limit) + MaxMatch, out))
                return false;
        } else if (IsStored(h)) {
            if (packed < static_cast<size_t>(h.UnpackedSize))
                return false;
            out.assign(reinterpret_cast<const char*>(bytes + data),
                       static_cast<size_t>(h.UnpackedSize));
        } else {
            return false;
        }
        if (h.HasFileCrc && Crc16(out) != h.FileCrc)
            return false;
        any = true;
    }
    return any;
}

// A completed member's file has exactly the member's size, and is a copy of
// its data (stored) or what the reference decoder makes of them (-lh5-). The
// CRC-16 and the time agree with the header when it carries them.
bool Complete(const FileFacts& f, const MemberHeaderLZH& h, std::string* why) {
    char text[200] = "";
    const long long u = h.UnpackedSize;
    bool ok = f.Regular;
    if (!ok) {
        std::snprintf(text, sizeof text, "not a regular file");
    } else if (IsStored(h)) {
        ok = f.Size == u && IsStoredCopy(h, f.Content);
        if (!ok)
            std::snprintf(text, sizeof text,
                          "%lld bytes, stored size %lld, %s the data after the header", f.Size, u,
                          f.Size == u ? "not" : "so not");
    } else if (h.MethodIndex == MethodLH5) {
        ok = f.Size == u;
        if (!ok)
            std::snprintf(text, sizeof text, "%lld bytes, -lh5- size %lld", f.Size, u);
        if (ok && !IsDecodedData(h, f.Content)) {
            ok = false;
            std::snprintf(text, sizeof text,
                          "%lld bytes, not what the reference decoder makes of the data", f.Size);
        }
    } else {
        ok = false;
        std::snprintf(text, sizeof text, "method %d is never extracted", h.MethodIndex);
    }
    if (ok && h.HasFileCrc && f.Crc != h.FileCrc) {
        ok = false;
        std::snprintf(text, sizeof text, "CRC-16 %04X, header says %04X", f.Crc, h.FileCrc);
    }
    if (ok && h.TimeStamp >= 0 && f.ModifiedTime != h.TimeStamp) {
        ok = false;
        std::snprintf(text, sizeof text, "time %lld, header says %d", f.ModifiedTime, h.TimeStamp);
    }
    if (why != nullptr)
        *why = text;
    return ok;
}

void CheckComplete(const MemberHeaderLZH& h, const char* when) {
    FileFacts facts;
    FUZZ_CHECK(Inspect(Space().Out + "/" + FileName(h), facts), "%s: no file for the completed %s",
               when, Describe(h).c_str());
    std::string why;
    FUZZ_CHECK(Complete(facts, h, &why), "%s: the file of the completed %s is wrong: %s", when,
               Describe(h).c_str(), why.c_str());
}

void CheckAbsent(const char* name, const char* when) {
    FUZZ_CHECK(!Exists(name), "%s: a file \"%.60s\" stays behind", when, name);
}

// A member the engine has opened: a plain name, and its file created (none
// for a folder entry, which extracts to nothing).
void CheckOpened(const MemberHeaderLZH& h, const char* when) {
    FUZZ_CHECK(std::memchr(h.Name, 0, PathSize) != nullptr, "%s: Name is not terminated", when);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(h.Name);
    for (size_t i = 0; s[i] != 0; ++i) {
        if (IsDoubleByteAt(h.Name, static_cast<int>(i))) {
            ++i;
            continue;
        }
        FUZZ_CHECK(s[i] != '/' && s[i] != '\\' && s[i] != ':',
                   "%s: the name of the open %s holds a separator at %zu", when,
                   Describe(h).c_str(), i);
    }
    FUZZ_CHECK(h.HeaderSize > 0 && h.PackedSize >= 0 && h.UnpackedSize >= 0,
               "%s: open %s has impossible sizes", when, Describe(h).c_str());
    FUZZ_CHECK(IsStored(h) || h.MethodIndex == MethodLH5 || IsFolderEntry(h),
               "%s: open %s has a method that is not extracted", when, Describe(h).c_str());
}

// The members completed so far in a job, the last of each file name: their
// files are in the destination, complete, whatever fails after them.
typedef std::map<std::string, MemberHeaderLZH> Completed;

// While a member is being written, the destination holds the completed
// members' files and at most one more: the member's temporary file, a
// regular file of another name, which the stand-in keeps unnamed where the
// file system can. A member's own name is only ever a completed one's.
void CheckWriting(const Completed& completed, const MemberHeaderLZH& h, const char* when) {
    int extra = 0;
    for (const std::string& name : List(Space().Out)) {
        if (completed.count(name) != 0)
            continue;
        ++extra;
        FUZZ_CHECK(name != FileName(h), "%s: the open %s already has a file of its name", when,
                   Describe(h).c_str());
        FileFacts facts;
        FUZZ_CHECK(Inspect(Space().Out + "/" + name, facts) && facts.Regular,
                   "%s: the temporary file \"%.60s\" is not a regular file", when, name.c_str());
    }
    FUZZ_CHECK(IsFolderEntry(h) ? extra == 0 : extra <= 1,
               "%s: %d files besides the completed members' while %s is written", when, extra,
               Describe(h).c_str());
}

// A member that failed or was cancelled left its file's name as it was:
// absent, or the file of an earlier member of that name, unchanged.
void CheckUntouched(const Completed& completed, const std::string& name, const char* when) {
    if (name.empty() || name == "." || name == "..")
        return; // the destination folder or its parent: no file's name
    const auto earlier = completed.find(name);
    if (earlier == completed.end())
        CheckAbsent(name.c_str(), when);
    else
        CheckComplete(earlier->second, when);
}

// The most steps that members with this header can take together: one member
// takes at most ceil(size / 16,384) stored steps or max(size, 1) -lh5- steps,
// and a run of identical headers (which look alike between two steps) holds
// at most one member per HeaderSize + PackedSize bytes of the file.
long long StepAllowance(const MemberHeaderLZH& h, size_t fileSize) {
    const long long u = h.UnpackedSize;
    const long long perMember =
        h.MethodIndex == MethodLH5 ? (u > 0 ? u : 1) : u / CExtractorLZH::WindowSize + 1;
    const long long span = static_cast<long long>(h.HeaderSize) + h.PackedSize;
    const long long members = static_cast<long long>(fileSize) / (span > 0 ? span : 1) + 1;
    return perMember * members;
}

// ---------------------------------------------------------------------------
// One job.

enum Outcome { BeginFailed, Failed, Succeeded, Cancelled };

struct JobResult {
    Outcome End = BeginFailed;
    int Code = ErrNone;
    long long Steps = 0;
    std::map<std::string, std::pair<long long, uint16_t>> Files; // name -> size, CRC
    std::vector<std::string> Opened; // names of the members the engine opened
    int FailedMember = 0;            // GetMemberNumber at a failure
};

bool IsCode(int code, std::initializer_list<int> allowed) {
    for (int c : allowed)
        if (c == code)
            return true;
    return false;
}

bool SameIgnoringAsciiCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(*a);
        int cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z')
            cb += 'a' - 'A';
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

// One job; filter is the only member to extract, or null for every member.
// A filter is only ever the name of a member that an earlier job on the same
// file opened, so the job must find and open a member of that name.
JobResult RunJob(CExtractorLZH& engine, size_t fileSize, const char* filter) {
    const Workspace& space = Space();
    JobResult result;
    std::vector<MemberHeaderLZH> opened; // every member the engine had open
    Completed completed;

    if (!engine.Begin(space.EngineArchive.c_str(), space.EngineOut.c_str(), filter)) {
        result.End = BeginFailed;
        result.Code = engine.ErrorCode;
        result.FailedMember = engine.GetMemberNumber();
        // The folder exists (it is created), so only the archive, the first
        // member's name, method or data can stop the job here.
        FUZZ_CHECK(filter == nullptr,
                   "Begin failed with ErrorCode %d for the member \"%.60s\", which the same "
                   "job without a filter opened",
                   result.Code, filter);
        FUZZ_CHECK(
            IsCode(result.Code, {ErrNotFound, ErrCreateFile, ErrFileAccess, ErrBadData, ErrMethod}),
            "Begin failed with ErrorCode %d", result.Code);
        if (result.Code == ErrNotFound)
            FUZZ_CHECK(List(space.Root).size() == 1,
                       "no archive found, yet something was created beside it");
        FUZZ_CHECK(List(space.Out).empty(), "Begin failed (ErrorCode %d) and left %zu file(s)",
                   result.Code, List(space.Out).size());
    } else {
        FUZZ_CHECK(engine.ErrorCode == ErrNone, "Begin succeeded with ErrorCode %d",
                   engine.ErrorCode);
        MemberHeaderLZH current = engine.GetHeader();
        CheckOpened(current, "after Begin");
        CheckWriting(completed, current, "after Begin");
        if (filter != nullptr)
            FUZZ_CHECK(SameIgnoringAsciiCase(current.Name, filter),
                       "the filter \"%.60s\" opened the member \"%.60s\"", filter, current.Name);
        opened.push_back(current);
        long long runSteps = 0;
        long long runAllowance = StepAllowance(current, fileSize);
        long long producedBefore = 0; // bytes of the members completed so far

        for (;;) {
            bool done = false;
            const bool ok = engine.Step(done);
            ++result.Steps;
            ++runSteps;
            const MemberHeaderLZH now = engine.GetHeader();

            if (!ok) {
                result.End = Failed;
                result.Code = engine.ErrorCode;
                result.FailedMember = engine.GetMemberNumber();
                FUZZ_CHECK(IsCode(result.Code, {ErrCreateFile, ErrFileAccess, ErrBadHeader,
                                                ErrBadData, ErrMethod, ErrCrc}),
                           "Step failed with ErrorCode %d", result.Code);
                // With a filter no next header is read and no next member opened.
                FUZZ_CHECK(filter == nullptr || (IsCode(result.Code, {ErrFileAccess, ErrBadData,
                                                                      ErrCrc, ErrCreateFile}) &&
                                                 SameHeader(now, current)),
                           "Step failed with ErrorCode %d past the one member \"%.60s\"",
                           result.Code, filter);
                // Which member the failure belongs to follows from the code:
                // a CRC error is always the current member's, and so is a
                // file that cannot take its target's place; a bad next
                // header or an unsupported next member come after the
                // current one completed; bad data, a file error or a next
                // member that cannot be created come after it when the step
                // had moved on to the next header.
                bool currentCompleted = IsCode(result.Code, {ErrBadHeader, ErrMethod});
                if (IsCode(result.Code, {ErrBadData, ErrFileAccess, ErrCreateFile}) &&
                    !SameHeader(now, current))
                    currentCompleted = true;
                // A failure of the current member's data that the reference
                // decoder does not see.
                if (IsCode(result.Code, {ErrCrc, ErrBadData}) && SameHeader(now, current))
                    FUZZ_CHECK(!MustComplete(current),
                               "ErrorCode %d for %s, whose data lie in the file and decode in "
                               "full with the header's CRC-16",
                               result.Code, Describe(current).c_str());
                if (currentCompleted && !IsFolderEntry(current)) {
                    completed[FileName(current)] = current;
                    CheckComplete(current, "member completed, next one failed");
                }
                // The member that failed left its name as it was.
                if (!currentCompleted)
                    CheckUntouched(completed, FileName(current), "the member failed");
                else if (result.Code != ErrBadHeader)
                    CheckUntouched(completed, FileName(now),
                                   "the next member failed as it was opened");
                break;
            }

            FUZZ_CHECK(engine.ErrorCode == ErrNone, "Step succeeded with ErrorCode %d",
                       engine.ErrorCode);
            if (done) {
                result.End = Succeeded;
                if (!IsFolderEntry(current)) {
                    completed[FileName(current)] = current;
                    CheckComplete(current, "last member done");
                }
                break;
            }
            if (!SameHeader(now, current)) {
                // The current member was completed and the next one opened.
                FUZZ_CHECK(filter == nullptr, "moved on past the one member \"%.60s\" to %s",
                           filter, Describe(now).c_str());
                if (!IsFolderEntry(current)) {
                    completed[FileName(current)] = current;
                    CheckComplete(current, "member completed");
                }
                CheckOpened(now, "next member opened");
                CheckWriting(completed, now, "next member opened");
                opened.push_back(now);
                producedBefore += current.UnpackedSize;
                current = now;
                runSteps = 0;
                runAllowance = StepAllowance(current, fileSize);
            }
            const int percent = engine.GetPercent();
            FUZZ_CHECK(percent >= 0 && percent < 100, "%d percent of an unfinished %s", percent,
                       Describe(current).c_str());
            FUZZ_CHECK(runSteps <= runAllowance,
                       "%lld steps on %s, which allows at most %lld: Step makes no progress",
                       runSteps, Describe(current).c_str(), runAllowance);

            const long long produced =
                producedBefore + static_cast<long long>(current.UnpackedSize) * percent / 100;
            if (result.Steps >= StepBudget(fileSize) || produced >= OutputBudget) {
                engine.Abort();
                result.End = Cancelled;
                CheckUntouched(completed, FileName(current), "after Abort");
                break;
            }
        }
    }

    // What is in the destination now, against the members seen.
    const std::map<std::string, FileFacts> files = Destination();
    for (const auto& file : files) {
        bool known = false;
        bool complete = false;
        std::string why;
        for (const MemberHeaderLZH& h : opened) {
            if (file.first != FileName(h))
                continue;
            known = true;
            if (Complete(file.second, h, &why))
                complete = true;
        }
        FUZZ_CHECK(known, "a file \"%.60s\" that no member was opened for", file.first.c_str());
        FUZZ_CHECK(complete, "the file \"%.60s\" is not a completed member's: %s",
                   file.first.c_str(), why.c_str());
        result.Files[file.first] = {file.second.Size, file.second.Crc};
    }
    for (const MemberHeaderLZH& h : opened)
        if (!IsFolderEntry(h)) // a job for one member never takes a folder entry
            result.Opened.push_back(h.Name);
    // However the job ended, the destination holds the completed members'
    // files, the last of each name, and nothing else: no temporary file.
    FUZZ_CHECK(files.size() == completed.size(), "%zu files for %zu completed member names",
               files.size(), completed.size());
    for (const auto& member : completed)
        CheckComplete(member.second, "at the end of the job");
    if (result.End == Succeeded) {
        // Every member was completed.
        std::map<std::string, MemberHeaderLZH> last;
        for (const MemberHeaderLZH& h : opened)
            if (!IsFolderEntry(h))
                last[FileName(h)] = h;
        FUZZ_CHECK(last.size() == completed.size(), "success with %zu files for %zu member names",
                   completed.size(), last.size());
    }
    return result;
}

// A job for a member that the archive does not have: Begin walks the chain of
// headers by their sizes alone, as Step does between members, so it ends
// where the full job's chain ended: at the end of the archive after a full
// job that succeeded, at the same damaged header after one that failed there.
void RunMissingMemberJob(CExtractorLZH& engine, const JobResult& full) {
    static const char Missing[] = "?missing?";
    bool named = false; // a member of the full job has that name after all
    for (const std::string& name : full.Opened)
        named = named || SameIgnoringAsciiCase(name.c_str(), Missing);
    const Workspace& space = Space();
    if (engine.Begin(space.EngineArchive.c_str(), space.EngineOut.c_str(), Missing)) {
        const MemberHeaderLZH current = engine.GetHeader();
        FUZZ_CHECK(SameIgnoringAsciiCase(current.Name, Missing),
                   "the filter \"%s\" opened the member \"%.60s\"", Missing, current.Name);
        engine.Abort();
        FUZZ_CHECK(List(space.Out).empty(), "Abort left %zu file(s)", List(space.Out).size());
        return;
    }
    const int code = engine.ErrorCode;
    FUZZ_CHECK(IsCode(code, {ErrNotFound, ErrBadHeader, ErrCreateFile, ErrMethod, ErrBadData,
                             ErrFileAccess}),
               "Begin for a missing member failed with ErrorCode %d", code);
    FUZZ_CHECK(List(space.Out).empty(), "Begin failed (ErrorCode %d) and left %zu file(s)", code,
               List(space.Out).size());
    if (named)
        return;
    if (full.End == Succeeded)
        FUZZ_CHECK(code == ErrNotFound,
                   "the full job reached the end of the archive, the search for a missing "
                   "member ended with ErrorCode %d",
                   code);
    if (full.End == Failed && full.Code == ErrBadHeader)
        FUZZ_CHECK(code == ErrBadHeader,
                   "the full job stopped at a damaged header, the search for a missing member "
                   "ended with ErrorCode %d",
                   code);
    if (full.End == BeginFailed && full.Code == ErrNotFound)
        FUZZ_CHECK(code == ErrNotFound,
                   "the full job found no archive, the search for a missing member ended with "
                   "ErrorCode %d",
                   code);
}

// A job without a destination walks the members that the full job walked and
// finds what it found: no failure where the full job completed every member,
// the same failure of the same member where that failed in its data or by
// its method, after which it goes on. It writes nothing at all.
void RunTestJob(CExtractorLZH& engine, size_t fileSize, const JobResult& full) {
    const Workspace& space = Space();
    std::vector<std::pair<int, int>> failures; // member number, code
    long long steps = 0;
    bool cancelled = false;
    bool done = false;
    bool ok = engine.Begin(space.EngineArchive.c_str(), nullptr, nullptr);
    for (;;) {
        if (ok && done)
            break;
        if (!ok) {
            failures.push_back({engine.GetMemberNumber(), engine.ErrorCode});
            FUZZ_CHECK(engine.CanSkipMember() ==
                           IsCode(engine.ErrorCode, {ErrBadData, ErrMethod, ErrCrc}),
                       "a job without a destination failed with ErrorCode %d, %s to skip",
                       engine.ErrorCode, engine.CanSkipMember() ? "able" : "unable");
            if (!engine.CanSkipMember())
                break;
            ok = engine.SkipMember(done);
            continue;
        }
        if (++steps > StepBudget(fileSize)) {
            engine.Abort();
            cancelled = true;
            break;
        }
        ok = engine.Step(done);
    }
    FUZZ_CHECK(List(space.Root).size() == 1,
               "a job without a destination wrote beside the archive");
    FUZZ_CHECK(!engine.CanSkipMember(),
               "the job without a destination ended with a member to skip");
    if (cancelled || full.End == Cancelled)
        return;
    if (full.End == Succeeded)
        FUZZ_CHECK(failures.empty(),
                   "every member extracted, yet the job without a destination failed member %d "
                   "with ErrorCode %d",
                   failures[0].first, failures[0].second);
    if (IsCode(full.Code, {ErrBadData, ErrMethod, ErrCrc}) && full.End != Succeeded)
        FUZZ_CHECK(!failures.empty() && failures[0].first == full.FailedMember &&
                       failures[0].second == full.Code,
                   "the full job failed member %d with ErrorCode %d, the job without a "
                   "destination first %s member %d with %d",
                   full.FailedMember, full.Code, failures.empty() ? "passed every" : "failed",
                   failures.empty() ? 0 : failures[0].first,
                   failures.empty() ? 0 : failures[0].second);
}

void CheckSurroundings(const uint8_t* data, size_t size, int filesBefore) {
    const Workspace& space = Space();
    for (const std::string& name : List(space.Root))
        FUZZ_CHECK(name == "archive.lzh" || name == "out",
                   "\"%.60s\" was created outside the destination folder", name.c_str());
    for (const std::string& name : List(space.Out)) {
        struct stat info;
        FUZZ_CHECK(lstat((space.Out + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode),
                   "\"%.60s\" in the destination is not a regular file", name.c_str());
    }
    const std::string archive = ReadAll(space.Archive);
    FUZZ_CHECK(archive.size() == size &&
                   (size == 0 || std::memcmp(archive.data(), data, size) == 0),
               "the archive file was changed");
    FUZZ_CHECK(OpenFileCount() == filesBefore, "%d file handles open after the job, %d before",
               OpenFileCount(), filesBefore);
}

void CleanDestination() {
    RemoveTree(Space().Out);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // mktime turns level-0/1 times into seconds in the local zone: fix it so
    // that every run of an input is alike. Japan, as the program's users.
    setenv("TZ", "JST-9", 1);
    tzset();
    RemoveTree(Space().Out);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const Workspace& space = Space();
    CleanDestination();
    WriteAll(space.Archive, data, size);
    Input().assign(reinterpret_cast<const char*>(data), size);
    DecodeCache().clear();
    HeadersInInput(true);
    const int filesBefore = OpenFileCount();

    // A fresh engine for each input, so that a finding reproduces on its own;
    // it runs the job twice, as the one engine of a run serves one job after
    // another, and then once more for the last member it opened alone.
    std::unique_ptr<CExtractorLZH> engine(new CExtractorLZH());
    const JobResult first = RunJob(*engine, size, nullptr);
    CheckSurroundings(data, size, filesBefore);
    if (first.End != Cancelled) {
        CleanDestination();
        const JobResult second = RunJob(*engine, size, nullptr);
        CheckSurroundings(data, size, filesBefore);
        FUZZ_CHECK(second.End == first.End && second.Code == first.Code &&
                       second.Steps == first.Steps && second.Files == first.Files,
                   "the second run of the job differs: outcome %d/%d, ErrorCode %d/%d, steps "
                   "%lld/%lld, files %zu/%zu",
                   first.End, second.End, first.Code, second.Code, first.Steps, second.Steps,
                   first.Files.size(), second.Files.size());
    }
    CleanDestination();
    RunTestJob(*engine, size, first);
    CheckSurroundings(data, size, filesBefore);
    RunMissingMemberJob(*engine, first);
    CheckSurroundings(data, size, filesBefore);
    if (!first.Opened.empty() && !first.Opened.back().empty()) {
        // The name with its ASCII letters in the other case: the filter
        // ignores their case.
        std::string filter = first.Opened.back();
        for (char& c : filter) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        CleanDestination();
        RunJob(*engine, size, filter.c_str());
        CheckSurroundings(data, size, filesBefore);
    }
    CleanDestination();
    return 0;
}
