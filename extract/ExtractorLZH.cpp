// Locating the archive, preparing the destination, and walking the members
// one slice at a time.
#include "ExtractorLZH.h"

#include "DbcsText.h"

#include <climits>
#include <cstring>
#include <ctime>

CExtractorLZH::CExtractorLZH()
    : ErrorCode(ErrNone), CrcTable(new unsigned short[256]),
      CrcSlices(new unsigned short[CrcSliceCount * 256]),
      Window(new unsigned char[WindowSize + WindowSlack]), HeaderOffset(-1),
      TempDeletesItself(false), Decoding(false), Remaining(0), WindowPos(0), Crc(0), BlockCount(0),
      RefusedForMethod(false), HasDestination(true), MemberNumber(0), MemberSkippable(false),
      CompletedPending(false) {
    std::memset(UnreadMethods, 0, sizeof UnreadMethods);
    std::memset(Folder, 0, sizeof Folder);
    std::memset(Filter, 0, sizeof Filter);
    std::memset(OutPath, 0, sizeof OutPath);
    std::memset(TempPath, 0, sizeof TempPath);
    std::memset(&MemberHeader, 0, sizeof MemberHeader);
    std::memset(CompletedName, 0, sizeof CompletedName);
    // A match copy may read a few bytes of the slack behind the ring.
    std::memset(Window + WindowSize, 0, WindowSlack);
    BuildCrcTable();
}

CExtractorLZH::~CExtractorLZH() {
    delete[] Window;
    delete[] CrcSlices;
    delete[] CrcTable;
}

bool CExtractorLZH::Begin(const char* archivePath, const char* destFolder, const char* onlyFile) {
    Abort(); // a job still in progress ends as if cancelled; nothing else is open
    ErrorCode = ErrNone;
    CompletedPending = false;
    HasDestination = destFolder != nullptr;
    MemberNumber = 0;
    if (!Archive.OpenRead(archivePath))
        return Fail(ErrOpenArchive);
    if (!LocateArchive())
        return Fail(ErrNotFound);
    if (!HasDestination)
        std::memset(Folder, 0, sizeof Folder);
    else if (!PrepareFolder(destFolder))
        return Fail(ErrCreateFolder);
    else
        RemoveStaleTempFiles();
    std::memset(Filter, 0, sizeof Filter);
    if (onlyFile != nullptr) {
        // No member name is that long, so no member can match.
        if (std::strlen(onlyFile) >= sizeof Filter)
            return Fail(ErrNotFound);
        std::strcpy(Filter, onlyFile);
    }
    for (;;) {
        if (MemberHeader.HeaderSize <= 0)
            return Fail(ErrNotFound);
        if (Filter[0] == 0 || (MemberHeader.MethodIndex != MethodDirectory &&
                               _stricmp(Filter, MemberHeader.Name) == 0))
            return OpenMember();
        if (!SkipToNextHeader())
            return Fail(ErrBadHeader);
    }
}

bool CExtractorLZH::BeginList(const char* archivePath) {
    Abort();
    ErrorCode = ErrNone;
    if (!Archive.OpenRead(archivePath))
        return Fail(ErrOpenArchive);
    if (!LocateArchive())
        return Fail(ErrNotFound);
    return true;
}

bool CExtractorLZH::NextHeader(bool& done) {
    done = false;
    if (!SkipToNextHeader())
        return Fail(ErrBadHeader);
    return MemberHeader.HeaderSize > 0 || EndJob(done);
}

// Scans the file for the first position where a valid member header starts.
// While more of the file remains, a candidate has a full 512 bytes in view;
// near the end, every position with room for the smallest header is tried.
// Header offsets are 32-bit: the scan ends at 2 GiB, the members' data may
// reach beyond.
bool CExtractorLZH::LocateArchive() {
    HeaderOffset = -1;
    UnreadMethods[0] = 0;
    int held = Archive.ReadRaw(Window, WindowSize);
    long long base = 0;
    int i = 0;
    int lookAhead = ScanLookAhead;
    for (;;) {
        for (; i + lookAhead <= held; ++i) {
            if (base + i > INT_MAX)
                return false;
            if (Window[i + 2] != '-' || Window[i + 6] != '-')
                continue;
            if (ParseHeader(Window + i, held - i) && MemberHeader.HeaderSize > 0) {
                HeaderOffset = static_cast<int>(base + i);
                UnreadMethods[0] = 0;
                return true;
            }
            if (RefusedForMethod)
                NoteUnreadMethod(Window + i);
        }
        if (held >= WindowSize) {
            base += i;
            held -= i;
            std::memmove(Window, Window + i, static_cast<size_t>(held));
            i = 0;
            held += Archive.ReadRaw(Window + held, WindowSize - held);
        } else if (lookAhead == ScanLookAhead) {
            lookAhead = MinHeaderSize;
        } else {
            return false;
        }
    }
}

// Copies destFolder into Folder, creates it with every missing parent, and
// leaves it ending in a backslash. A drive root such as C:\ stays as it is.
// When the folder cannot be made, the parents made for it are removed.
bool CExtractorLZH::PrepareFolder(const char* destFolder) {
    std::memset(Folder, 0, sizeof Folder);
    const size_t given = std::strlen(destFolder);
    if (given >= sizeof Folder)
        return false;
    std::memcpy(Folder, destFolder, given);
    CutTrailingBackslash(Folder);
    const int len = static_cast<int>(std::strlen(Folder));
    if (len + 1 >= PathSize)
        return false; // no room for the closing backslash
    // The backslash that closes the folder would become this byte's trail,
    // and the files would land beside the folder instead of in it.
    if (EndsInLoneLeadByte(Folder))
        return false;

    if (_access(Folder, 0) != 0) {
        // made[i]: the parent that ends before the backslash at i was made
        // here. A folder that cannot be made takes them away again.
        bool made[PathSize] = {};
        for (int i = 0; i < len; ++i) {
            if (IsDoubleByteAt(Folder, i)) {
                ++i;
            } else if (Folder[i] == '\\') {
                Folder[i] = 0;
                if (_access(Folder, 0) != 0)
                    made[i] = _mkdir(Folder) == 0; // a failure shows in the last _mkdir
                Folder[i] = '\\';
            }
        }
        if (_mkdir(Folder) != 0) {
            for (int i = len - 1; i >= 0; --i) { // innermost first
                if (made[i]) {
                    Folder[i] = 0;
                    _rmdir(Folder);
                }
            }
            return false;
        }
    } else {
        // Not _stat: the Microsoft runtime's takes a trailing trail byte 0x5C
        // (the last byte of a name ending in ソ or 表) for a backslash and
        // fails on the existing folder.
        const DWORD attributes = GetFileAttributesA(Folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return false;
    }

    if (len > 0 && !EndsWithBackslash(Folder))
        Folder[len] = '\\';
    return true;
}

// A method the scan met, each one once, as many as are kept.
void CExtractorLZH::NoteUnreadMethod(const unsigned char* header) {
    const char* method = reinterpret_cast<const char*>(header + HeaderMethodAt);
    const size_t kept = std::strlen(UnreadMethods);
    for (size_t at = 0; at < kept; at += MethodLength)
        if (std::memcmp(UnreadMethods + at, method, MethodLength) == 0)
            return;
    if (kept + MethodLength < sizeof UnreadMethods) {
        std::memcpy(UnreadMethods + kept, method, MethodLength);
        UnreadMethods[kept + MethodLength] = 0;
    }
}

// One raw read of up to 512 bytes where a header must start. A failed move or
// read yields fewer bytes, which read as the end of the archive.
bool CExtractorLZH::ReadHeaderAt(int offset) {
    HeaderOffset = offset;
    int got = 0;
    if (Archive.MoveTo(offset))
        got = Archive.ReadRaw(Window, ScanLookAhead);
    UnreadMethods[0] = 0;
    if (ParseHeader(Window, got))
        return true;
    if (RefusedForMethod)
        NoteUnreadMethod(Window);
    return false;
}

bool CExtractorLZH::SkipToNextHeader() {
    const long long next =
        static_cast<long long>(HeaderOffset) + MemberHeader.HeaderSize + MemberHeader.PackedSize;
    if (next > INT_MAX)
        return ParseHeader(Window, 0); // past any file the engine can read: the end
    return ReadHeaderAt(static_cast<int>(next));
}

// Device names, paths that do not fit and targets that cannot be replaced
// are refused before anything is written. The member is written under a
// temporary name beside its target and replaces it only once complete, so
// a member that fails or is cancelled never costs the file it would have
// replaced.
// A folder entry is a member that extracts to nothing: it is opened without
// a file and ends at its first step.
bool CExtractorLZH::OpenMember() {
    ++MemberNumber;
    const int method = MemberHeader.MethodIndex;
    const bool writes = HasDestination && method != MethodDirectory;
    if (writes && (IsDeviceName(MemberHeader.Name) || !SetOutPath() || !TargetCanBeReplaced() ||
                   !CreateTempOutput()))
        return Fail(ErrCreateFile);

    const bool stored = method == MethodLH0 || method == MethodLZ4;
    if (!stored && method != MethodLH5 && method != MethodDirectory)
        return Fail(ErrMethod);
    try {
        Archive.SetMemberData(static_cast<long long>(HeaderOffset) + MemberHeader.HeaderSize,
                              MemberHeader.PackedSize);
        // An empty member has nothing to decode: it ends at its first step,
        // as an empty stored one does.
        Decoding = method == MethodLH5 && MemberHeader.UnpackedSize > 0;
        BlockCount = 0;
        if (Decoding) {
            std::memset(Window, RingFill, WindowSize);
            Archive.FillBits(16);
            WindowPos = 0;
        }
    } catch (...) {
        return FailCaught(); // a failed seek, or a file that ends inside the first bytes
    }
    Remaining = MemberHeader.UnpackedSize;
    Crc = 0;
    return true;
}

// A path that does not fit is refused, never cut into another name.
bool CExtractorLZH::SetOutPath() {
    const size_t folderLength = std::strlen(Folder);
    const size_t nameLength = std::strlen(MemberHeader.Name);
    if (folderLength + nameLength >= sizeof OutPath)
        return false;
    std::memset(OutPath, 0, sizeof OutPath);
    std::memcpy(OutPath, Folder, folderLength);
    std::memcpy(OutPath + folderLength, MemberHeader.Name, nameLength);
    return true;
}

// The one precondition of Step's fast way: a -lh5- block under way
// (BlockCount is above 0 only within one), the window and the
// bits of a character/length code that the direct table resolves behind it
// in the bit input, room in the ring for the longest match, and more of the
// member to come than that. A match asks for the bits of its position as
// well (StepCommonMatch); a literal, most symbols, takes the bits of one
// code only, so the bit input is topped up once for several literals.
inline bool CExtractorLZH::CommonSymbolAhead() {
    return BlockCount > 0 && Remaining > MaxMatch && WindowPos < WindowSize - MaxMatch &&
           Archive.HoldBits(CharTableBits);
}

// One slice of work, one of two ways.
//
// The fast way, most slices: one common -lh5- symbol. Behind
// CommonSymbolAhead, a symbol whose codes the direct tables resolve and
// whose copy stays inside the ring is decoded here (a literal) or by
// StepCommonMatch, exactly as DecodeLH5Step would decode it. Everything is
// looked at before anything changes, so a symbol that turns out not to be
// common finds the state as it was (the bit input may have taken more bytes
// from its buffer, which its window does not reach yet).
//
// The full way, StepInFull: the stored copy, or DecodeLH5Step with block
// headers, long codes, the ring's end and the member's; failures, and the
// member whose data the slice completes.
bool CExtractorLZH::Step(bool& done) {
    if (CommonSymbolAhead()) {
        const unsigned entry = CodeTable.EntryAt(Archive.PeekBits() >> (16 - CharTableBits));
        if (!CHuffmanTable::IsLeafBelow<LiteralCount>(entry))
            return StepCommonMatch(done, entry);
        Archive.SkipBits(CHuffmanTable::LengthOf(entry));
        --BlockCount;
        PutLiteral(CHuffmanTable::SymbolOf(entry));
        done = false;
        return true;
    }
    return StepInFull(done);
}

// Never inlined into Step: the fast way would then save five registers at
// every step (155.3 M instructions instead of 132.6 M for lzhx on a 4 MB
// archive).
[[gnu::noinline]] bool CExtractorLZH::StepInFull(bool& done) {
    try {
        if (!(Decoding ? DecodeLH5Step(Archive, Output, done)
                       : CopyStoredStep(Archive, Output, done)))
            return false;
    } catch (...) {
        return FailCaught();
    }
    return !done || FinishMember(done);
}

// Copies up to 16,384 bytes of a stored member. A member whose data ends
// before its size is reached (the file or the packed size runs out) fails:
// the bytes that would fill the gap are not the member's.
bool CExtractorLZH::CopyStoredStep(CFileBuffer& in, CFileBuffer& out, bool& memberDone) {
    memberDone = false;
    const int count = Remaining < WindowSize ? Remaining : WindowSize;
    if (count > 0) {
        const int produced = MemberHeader.UnpackedSize - Remaining;
        if (MemberHeader.PackedSize - produced < count || in.Read(Window, count) < count)
            return Fail(MemberHeader.HasFileCrc ? ErrCrc : ErrBadData);
        UpdateCrc(Window, count);
        if (out.IsOpen()) // else a job without a destination: checked, not kept
            out.Write(Window, count);
        Remaining -= count;
    }
    if (Remaining <= 0) {
        out.Flush();
        memberDone = true;
    }
    return true;
}

// The member's data is complete and flushed: check it, stamp it, close it,
// and move on to the next wanted member.
bool CExtractorLZH::FinishMember(bool& done) {
    done = false;
    if (MemberHeader.HasFileCrc && Crc != MemberHeader.FileCrc)
        return Fail(ErrCrc);
    if (!Output.IsOpen()) // nothing written: a job without a destination, or a folder entry
        return NextWantedMember(done);
    SetOutputTimes(); // after the last write, so that nothing changes the times
    if (!PutOutputInPlace())
        return false;
    std::memcpy(CompletedName, MemberHeader.Name, sizeof CompletedName);
    CompletedPending = true;
    return NextWantedMember(done);
}

// After a member: the end of a job for one member, or the next header and
// its member.
bool CExtractorLZH::NextWantedMember(bool& done) {
    if (Filter[0] != 0)
        return EndJob(done);
    if (!NextHeader(done))
        return false;
    return done || OpenMember();
}

// Every wanted member is done: the job ends with success.
bool CExtractorLZH::EndJob(bool& done) {
    Archive.Close();
    done = true;
    return true;
}

// A time that cannot be converted leaves the file with the times it got when
// it was written; the file itself is complete.
void CExtractorLZH::SetOutputTimes() {
    if (MemberHeader.TimeStamp < 0)
        return;
    const std::time_t value = MemberHeader.TimeStamp;
    const std::tm* utc = std::gmtime(&value);
    if (utc == nullptr)
        return;
    SYSTEMTIME system;
    system.wYear = static_cast<WORD>(utc->tm_year + 1900);
    system.wMonth = static_cast<WORD>(utc->tm_mon + 1);
    system.wDayOfWeek = static_cast<WORD>(utc->tm_wday);
    system.wDay = static_cast<WORD>(utc->tm_mday);
    system.wHour = static_cast<WORD>(utc->tm_hour);
    system.wMinute = static_cast<WORD>(utc->tm_min);
    system.wSecond = static_cast<WORD>(utc->tm_sec);
    system.wMilliseconds = 0;
    FILETIME file;
    if (SystemTimeToFileTime(&system, &file))
        SetFileTime(Output.FileHandle, &file, &file, &file);
}

// Every failure of a job or a listing ends here, and `return Fail(code);`
// ends the operation that met it. The member in progress goes (its
// temporary file is closed and removed, the file it would have replaced
// stays as it was), the archive is closed, and ErrorCode names the failure.
// A job without a destination writes nothing, and a member that fails there
// in its own data or by its method leaves the archive as readable as it
// was: the job stays at that member for SkipMember to go on with the next
// one (or for Abort, or the next Begin).
bool CExtractorLZH::Fail(int code) {
    ErrorCode = code;
    DiscardTempOutput();
    MemberSkippable =
        !HasDestination && (code == ErrBadData || code == ErrMethod || code == ErrCrc);
    if (!MemberSkippable)
        Archive.Close();
    return false;
}

// The one place where an exception becomes a code. Exceptions travel only
// within one slice of work: every try block of the engine ends in
// catch (...) { return FailCaught(); }, which fails the job with the code of
// the exception being handled.
bool CExtractorLZH::FailCaught() {
    try {
        throw;
    } catch (const CFileException&) {
        return Fail(ErrFileAccess);
    } catch (const CExceptionLZH&) {
        return Fail(ErrBadData);
    }
}

bool CExtractorLZH::SkipMember(bool& done) {
    done = false;
    if (!MemberSkippable)
        return false;
    MemberSkippable = false;
    ErrorCode = ErrNone;
    return NextWantedMember(done);
}

// Only a file still being written is deleted; a completed one always stays.
void CExtractorLZH::Abort() {
    MemberSkippable = false;
    DiscardTempOutput();
    Archive.Close();
}

// The part before the first dot, less the spaces at its end, names the
// device: "nul.txt", "NUL.", "Com1 .log" are all the device. Windows drops a
// lead byte that ends a name as it converts it, so "nul" followed by one is
// the device too.
bool CExtractorLZH::IsDeviceName(const char* name) {
    static const char* const DeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t length = std::strcspn(name, ".");
    if (name[length] == 0 && EndsInLoneLeadByte(name))
        --length;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    char stem[8];
    if (length == 0 || length >= sizeof stem)
        return false;
    std::memcpy(stem, name, length);
    stem[length] = 0;
    for (const char* device : DeviceNames)
        if (_stricmp(stem, device) == 0)
            return true;
    if (length != 4 || stem[3] < '1' || stem[3] > '9')
        return false;
    stem[3] = 0; // COM1 to COM9, LPT1 to LPT9
    return _stricmp(stem, "COM") == 0 || _stricmp(stem, "LPT") == 0;
}

const char* CExtractorLZH::TakeCompletedName() {
    if (!CompletedPending)
        return nullptr;
    CompletedPending = false;
    return CompletedName;
}

int CExtractorLZH::GetPercent() const {
    if (MemberHeader.UnpackedSize <= 0)
        return 0;
    const long long produced =
        static_cast<long long>(MemberHeader.UnpackedSize) - static_cast<long long>(Remaining);
    return static_cast<int>(produced * 100 / MemberHeader.UnpackedSize);
}
