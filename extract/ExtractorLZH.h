// The LZH extraction engine: finds an archive inside a larger file and
// extracts its members, a small step at a time, so that a single GUI thread
// can drive it and stay responsive.
#pragma once

#include "FileBuffer.h"
#include "FormatLZH.h"
#include "HuffmanTable.h"

enum {
    ErrNone = 0,
    ErrOpenArchive = 1,  // the archive file cannot be opened for reading
    ErrCreateFolder = 2, // the destination is no folder, or cannot be created
    ErrCreateFile = 3,   // a member's output file cannot be created
    ErrFileAccess = 4,   // a read or write failed while extracting
    ErrNotFound = 5,     // no archive in the file, or no member of that name
    ErrBadHeader = 6,    // a member header after the first is damaged
    ErrBadData = 7,      // the member's data is corrupt or cut short
    ErrMethod = 8,       // the member's method is known but not supported
    ErrCrc = 9           // the extracted data fails its CRC-16
};

// Paths and names in fixed buffers: at most 259 bytes and the terminator.
enum { PathSize = 260 };

// The decoded fields of the current member header.
struct MemberHeaderLZH {
    int HeaderSize; // header bytes before the data; 0 = end of archive
    int MethodIndex;
    int PackedSize;
    int UnpackedSize;
    int TimeStamp; // seconds since 1970-01-01 00:00:00 UTC; negative = unknown
    char Name[PathSize];
    bool HasFileCrc;
    unsigned short FileCrc;
    int Level; // header level: 0, 1 or 2
};

class CExtractorLZH {
  public:
    enum { WindowSize = RingSize, WindowSlack = 256, ScanLookAhead = 512 };
    // Bytes that the CRC-16 takes in one round of table look-ups.
    enum { CrcSliceCount = 16 };

    CExtractorLZH();
    ~CExtractorLZH();
    CExtractorLZH(const CExtractorLZH&) = delete;
    CExtractorLZH& operator=(const CExtractorLZH&) = delete;

    // Starts a job: finds the archive in archivePath, prepares destFolder and
    // opens the first wanted member (all of them when onlyFile is null or
    // empty). False with ErrorCode set when the job cannot start.
    //
    // A null destFolder starts a job without a destination: it decodes
    // every wanted member and checks its CRC-16 as extracting would, and
    // writes nothing anywhere. In such a job a member that fails in its own
    // data or by its method (ErrBadData, ErrCrc, ErrMethod) ends that member
    // only: Begin or Step returns false as always, CanSkipMember is true,
    // and SkipMember goes on with the next wanted member.
    bool Begin(const char* archivePath, const char* destFolder, const char* onlyFile);
    // One slice of work. False: the job failed (ErrorCode set). True with
    // done set: every wanted member is extracted. Both files are closed then
    // (but for a member that can be skipped).
    bool Step(bool& done);
    // Ends the job in progress and deletes the file being written.
    void Abort();
    // After a member failed in a job without a destination: whether the job
    // can go on past it, and going on. SkipMember's results are Step's; it
    // is false, and changes nothing, when there is no member to skip.
    bool CanSkipMember() const { return MemberSkippable; }
    bool SkipMember(bool& done);
    int GetPercent() const;
    const char* GetMemberName() const { return MemberHeader.Name; }
    // How many members the job has taken up so far, the current one (or the
    // one that failed) included: it tells a member's end from the next one's.
    int GetMemberNumber() const { return MemberNumber; }
    // The name under which this job last completed a member (written,
    // checked and in its place), given once; null when no member has been
    // completed since the last call. A Step completes at most one member, so
    // a caller that asks after every Step learns of every file the job wrote.
    const char* TakeCompletedName();

    // A listing: the member headers alone, in archive order, the data
    // passed over by their packed sizes. BeginList finds the archive and
    // parses its first member header, NextHeader the one after the current
    // one; while they return true and done is not set, GetHeader() holds
    // that member's header. NextHeader sets done at the end of the archive;
    // false is ErrBadHeader (BeginList: ErrOpenArchive or ErrNotFound). The
    // archive is closed at the end, as after any job; Abort ends a listing
    // early, and Step is not called in one.
    bool BeginList(const char* archivePath);
    bool NextHeader(bool& done);
    // The method string of a MethodIndex, such as "-lh5-".
    static const char* MethodName(int methodIndex);

    // After a job or a listing that ended with ErrNotFound: true when the
    // file holds an archive, so that no member has the name asked for.
    bool ArchiveFound() const { return HeaderOffset >= 0; }
    // The methods, one after another ("-lh6--lh7-"), of headers refused for
    // their method alone, one of the LZH family's that the engine does not
    // know, such as -lh6- or -lh7-: after ErrNotFound, those that the scan
    // met; after ErrBadHeader, that of the header that ended the job.
    // Empty when there were none.
    const char* GetUnreadMethods() const { return UnreadMethods; }

    int ErrorCode;

    // Member header format; public so that the header rules can be tested
    // on their own.
    bool ParseHeader(const unsigned char* p, int n);
    static const char* BaseName(const char* path);
    // True for the names that Windows takes for a device in any folder.
    static bool IsDeviceName(const char* name);
    static unsigned char HeaderSum(const unsigned char* p, int count);
    void UpdateCrc(const unsigned char* p, int count);
    unsigned short GetCrc() const { return Crc; }
    void ResetCrc() { Crc = 0; }
    const MemberHeaderLZH& GetHeader() const { return MemberHeader; }

  private:
    void BuildCrcTable();
    bool ParseFields(const unsigned char* p, int n);
    bool ParseBaseHeader(const unsigned char* p, int n);
    bool ParseLevel1Extensions(const unsigned char* p, int n);
    bool ParseLevel2Header(const unsigned char* p, int n);
    bool SetName(const unsigned char* text, int length);
    bool HeaderCrcMatches(const unsigned char* p, int crcAt, unsigned short recorded);
    bool TakeExtension(const unsigned char* p, int typeAt, int size, int& crcAt,
                       unsigned short& recorded);

    void NoteUnreadMethod(const unsigned char* header);
    bool LocateArchive();
    bool PrepareFolder(const char* destFolder);
    bool ReadHeaderAt(int offset);
    bool SkipToNextHeader();
    bool OpenMember();
    bool SetOutPath();
    bool FinishMember(bool& done);
    bool NextWantedMember(bool& done);
    bool EndJob(bool& done);
    void SetOutputTimes();
    bool Fail(int code);
    bool FailCaught();

    // The member's file, written under a temporary name (OutputFile.cpp).
    bool TargetCanBeReplaced() const;
    bool CreateTempOutput();
    void NameTempOutputByIdentity(int room);
    bool SetTempDeletion(bool deleteOnClose);
    bool PutOutputInPlace();
    void DiscardTempOutput();
    void RemoveStaleTempFiles();

    // The slice (ExtractorLZH.cpp): Step's fast way and its full way, and
    // the stored copy.
    bool CommonSymbolAhead();
    bool StepInFull(bool& done);
    bool CopyStoredStep(CFileBuffer& in, CFileBuffer& out, bool& memberDone);

    // The -lh5- decoder (DecoderLH5.cpp). The direct tables: 12 bits for
    // the character/length code, 8 for the pre-code and the position code;
    // longer codes continue in a tree.
    enum { CharTableBits = 12, SmallTableBits = 8 };
    bool DecodeLH5Step(CFileBuffer& in, CFileBuffer& out, bool& memberDone);
    bool StepCommonMatch(bool& done, unsigned charEntry);
    void PutLiteral(int c);
    int DecodeChar(CFileBuffer& in);
    int DecodePosition(CFileBuffer& in);
    static int ReadCodeLength(CFileBuffer& in);
    void ReadBlockHeader(CFileBuffer& in);
    void ReadLengthList(CFileBuffer& in, CHuffmanTable& table, int count, int countBits,
                        int zeroRunAt);
    int ReadListEntry(CFileBuffer& in, int i, int zeroRunAt, int& length);
    void EmitRing(CFileBuffer& out, int count);
    void FinishLH5Member(CFileBuffer& out);
    void CopyMatch(CFileBuffer& out, int length, int distance);
    void CopyMatchAcrossRing(CFileBuffer& out, int length, int distance);
    void CopyMatchPiece(int& source, int count);
    int RingSource(int distance) const;
    void PutMatchInsideRing(int source, int length, int distance);

    unsigned short* CrcTable;  // 256 entries: one byte at a time
    unsigned short* CrcSlices; // CrcSliceCount slices of 256, derived from CrcTable
    unsigned char* Window;
    CFileBuffer Archive;
    CFileBuffer Output;
    int HeaderOffset;
    char Folder[PathSize];
    char Filter[PathSize];
    char OutPath[PathSize];  // the member's file: Folder and Name
    char TempPath[PathSize]; // where it is written until it is in place; empty when none
    bool TempDeletesItself;  // the system deletes it when it is closed
    bool Decoding;
    int Remaining;
    int WindowPos;
    CHuffmanTable CodeTable;
    CHuffmanTable PosTable;
    unsigned short Crc;
    int BlockCount; // symbols left in the -lh5- block; 0 or less in a stored member
    MemberHeaderLZH MemberHeader;
    // The last ParseHeader refused a header for its method alone.
    bool RefusedForMethod;
    bool HasDestination; // false: a job that checks members and writes nothing
    int MemberNumber;
    bool MemberSkippable;
    enum { UnreadMethodsKept = 4 };
    char UnreadMethods[UnreadMethodsKept * MethodLength + 1];
    bool CompletedPending; // CompletedName not yet taken
    char CompletedName[PathSize];
};

// A literal into the ring, for both ways of Step; the full way hands the
// ring on when the literal fills it, the fast way never lets it.
inline void CExtractorLZH::PutLiteral(int c) {
    Window[WindowPos++] = static_cast<unsigned char>(c);
    --Remaining;
}
