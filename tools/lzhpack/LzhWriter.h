// LZH archive writing: level-2 member headers with the name, Windows time
// and header-CRC extended headers, the CRC-16 of the data, and the choice
// between -lh5- and stored data for each member.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class PackMode {
    Store,   // -lh0- always
    Auto,    // -lh5-, or -lh0- where compressing does not shrink the file
    ForceLH5 // -lh5- even where it grows, except for an empty file
};

// What a level-2 header says about its member. Times are in seconds since
// 1970-01-01 00:00:00 UTC.
struct MemberRecord {
    std::string Name;
    bool Compressed;
    uint32_t OriginalSize;
    uint32_t PackedSize;
    uint16_t DataCrc;
    int64_t Creation;
    int64_t LastWrite;
    int64_t LastAccess;
};

// CRC-16/ARC (reflected polynomial 0xA001, starting from crc).
uint16_t Crc16(const uint8_t* p, size_t n, uint16_t crc = 0);

// A Windows FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
uint64_t WindowsFileTime(int64_t unixSeconds);

enum class PackResult {
    Written,
    ReadFailed,  // the input could not be read
    SizeChanged, // the input did not hold record.OriginalSize bytes
    WriteFailed  // the archive could not be written
};

// Writes a member at the archive's position: its header, then its data,
// read from input (which must hold record.OriginalSize bytes), compressed or
// stored as the mode asks; record's other fields say what goes into the
// header. An empty file is always stored: a reader of -lh5- data produces at
// least one symbol's bytes. The data streams through: the header is written
// first with its sizes and CRC open and again in place once they are known,
// so the archive holds the bytes that the whole file in memory would give.
// On return record says what was written, and the archive's position is
// after the member's data.
PackResult PackMember(FILE* archive, FILE* input, MemberRecord& record, PackMode mode);

// The complete level-2 header of a member. Its size is never a multiple of
// 256: a reader would take such a header's first byte, 0, for the end of the
// archive, so such a header gets one more extended header (a Unix time
// record of the last-write time, 7 bytes).
std::vector<uint8_t> Level2Header(const MemberRecord& member);

// Names longer than this are refused: readers keep at most 259 bytes.
enum { MaxMemberName = 259 };
