// Member headers of levels 0, 1 and 2, their checksums, and the CRC-16.
#include "ExtractorLZH.h"

#include "DbcsText.h"

#include <climits>
#include <cstring>
#include <ctime>

namespace {

unsigned Le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

unsigned long Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (static_cast<unsigned long>(p[2]) << 16) |
           (static_cast<unsigned long>(p[3]) << 24);
}

// Field values are unsigned; sizes of 2 GiB and more read as negative and
// are refused by the caller.
int Le32Signed(const unsigned char* p) {
    return static_cast<int>(Le32(p));
}

// "-lh" and one more character, "-": the methods of LHA and its kin.
bool IsLzhFamilyMethod(const unsigned char* p) {
    return p[0] == '-' && p[1] == 'l' && p[2] == 'h' && p[4] == '-';
}

int FindMethod(const unsigned char* p) {
    for (int i = 0; i < MethodCount; ++i)
        if (std::memcmp(p, MethodNames[i], MethodLength) == 0)
            return i;
    return -1;
}

// MS-DOS local time to seconds since the epoch; -1 when it cannot be had.
int DosTimeToTimeStamp(unsigned time, unsigned date) {
    std::tm local = {};
    local.tm_sec = static_cast<int>(time & 0x1F) * 2;
    local.tm_min = static_cast<int>((time >> 5) & 0x3F);
    local.tm_hour = static_cast<int>(time >> 11);
    local.tm_mday = static_cast<int>(date & 0x1F);
    local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    local.tm_year = static_cast<int>(date >> 9) + 80;
    local.tm_isdst = -1;
    const std::time_t value = std::mktime(&local);
    if (value == static_cast<std::time_t>(-1) || value < 0 || value > INT_MAX)
        return -1;
    return static_cast<int>(value);
}

} // namespace

const char* CExtractorLZH::MethodName(int methodIndex) {
    return methodIndex >= 0 && methodIndex < MethodCount ? MethodNames[methodIndex] : "";
}

void CExtractorLZH::BuildCrcTable() {
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        CrcTable[i] = static_cast<unsigned short>(r);
    }
    // Slice k: the register that byte i leaves behind after k zero bytes more.
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = CrcTable[i];
        CrcSlices[i] = static_cast<unsigned short>(r);
        for (int k = 1; k < CrcSliceCount; ++k) {
            r = CrcTable[r & 0xFF] ^ (r >> 8);
            CrcSlices[k * 256 + i] = static_cast<unsigned short>(r);
        }
    }
}

// Sixteen bytes at a time through the slices, the rest one at a time. The
// register is linear in the bytes: each byte's share is its own slice's
// entry, the register itself enters with the first two bytes, and the
// sixteen look-ups do not wait on one another.
void CExtractorLZH::UpdateCrc(const unsigned char* p, int count) {
    unsigned crc = Crc;
    const unsigned short* const t = CrcSlices;
    for (; count >= 16; count -= 16, p += 16) {
        const unsigned low = crc ^ (p[0] | static_cast<unsigned>(p[1]) << 8);
        crc = t[15 * 256 + (low & 0xFF)] ^ t[14 * 256 + (low >> 8)] ^ t[13 * 256 + p[2]] ^
              t[12 * 256 + p[3]] ^ t[11 * 256 + p[4]] ^ t[10 * 256 + p[5]] ^ t[9 * 256 + p[6]] ^
              t[8 * 256 + p[7]] ^ t[7 * 256 + p[8]] ^ t[6 * 256 + p[9]] ^ t[5 * 256 + p[10]] ^
              t[4 * 256 + p[11]] ^ t[3 * 256 + p[12]] ^ t[2 * 256 + p[13]] ^ t[1 * 256 + p[14]] ^
              t[p[15]];
    }
    for (int i = 0; i < count; ++i)
        crc = CrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    Crc = static_cast<unsigned short>(crc);
}

unsigned char CExtractorLZH::HeaderSum(const unsigned char* p, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += p[i];
    return static_cast<unsigned char>(sum);
}

const char* CExtractorLZH::BaseName(const char* path) {
    int start = 0;
    for (int i = 0; path[i] != 0; ++i) {
        if (IsDoubleByteAt(path, i)) {
            ++i;
            continue;
        }
        const unsigned char b = static_cast<unsigned char>(path[i]);
        if (b == '/' || b == ':' || b == '\\' || b == 0xFF)
            start = i + 1;
    }
    return path + start;
}

// A name that does not fit is refused rather than cut, so that a long name
// can never be shortened into the name of another file.
bool CExtractorLZH::SetName(const unsigned char* text, int length) {
    if (length < 0 || length >= PathSize)
        return false;
    std::memset(MemberHeader.Name, 0, sizeof MemberHeader.Name);
    std::memcpy(MemberHeader.Name, text, static_cast<size_t>(length));
    const char* base = BaseName(MemberHeader.Name);
    std::memmove(MemberHeader.Name, base, std::strlen(base) + 1);
    return true;
}

bool CExtractorLZH::HeaderCrcMatches(const unsigned char* p, int crcAt, unsigned short recorded) {
    static const unsigned char zero[CrcSize] = {0, 0};
    Crc = 0;
    UpdateCrc(p, crcAt);
    UpdateCrc(zero, CrcSize);
    UpdateCrc(p + crcAt + CrcSize, MemberHeader.HeaderSize - crcAt - CrcSize);
    return Crc == recorded;
}

// The extended header of `size` bytes whose type stands at p[typeAt]: a
// name replaces Name, a header CRC is recorded with the offset of its field,
// other types change nothing. False for one too small for its own fields,
// or a name that does not fit.
bool CExtractorLZH::TakeExtension(const unsigned char* p, int typeAt, int size, int& crcAt,
                                  unsigned short& recorded) {
    if (size < ExtFrameSize)
        return false;
    const int dataAt = typeAt + 1;
    const int dataSize = size - ExtFrameSize;
    if (p[typeAt] == ExtHeaderCrc) {
        if (dataSize < CrcSize)
            return false;
        crcAt = dataAt;
        recorded = static_cast<unsigned short>(Le16(p + dataAt));
    } else if (p[typeAt] == ExtFileName) {
        return SetName(p + dataAt, dataSize);
    }
    return true;
}

bool CExtractorLZH::ParseHeader(const unsigned char* p, int n) {
    MemberHeaderLZH& h = MemberHeader;
    h.HeaderSize = 0;
    h.MethodIndex = 0;
    h.PackedSize = 0;
    h.UnpackedSize = 0;
    h.TimeStamp = -1;
    std::memset(h.Name, 0, sizeof h.Name);
    h.HasFileCrc = false;
    h.FileCrc = 0;
    h.Level = 0;

    RefusedForMethod = false;

    if (n < MinHeaderSize || p[0] == 0)
        return true; // end of archive
    h.MethodIndex = FindMethod(p + HeaderMethodAt);
    if (h.MethodIndex >= 0)
        return ParseFields(p, n);
    // A method of the LZH family that is not in the table (-lh6-, -lh7-)
    // makes no header either; but one that is valid in every other respect
    // tells why a file cannot be read.
    RefusedForMethod = IsLzhFamilyMethod(p + HeaderMethodAt) && ParseFields(p, n);
    return false;
}

// The fields after the method, by the header's level.
bool CExtractorLZH::ParseFields(const unsigned char* p, int n) {
    MemberHeaderLZH& h = MemberHeader;
    h.PackedSize = Le32Signed(p + HeaderPackedSizeAt);
    h.UnpackedSize = Le32Signed(p + HeaderOriginalSizeAt);

    bool valid;
    h.Level = p[HeaderLevelAt];
    switch (h.Level) {
    case 0:
    case 1:
        valid = ParseBaseHeader(p, n);
        break;
    case 2:
        valid = ParseLevel2Header(p, n);
        break;
    default:
        return false;
    }
    if (!valid)
        return false;
    // A folder entry has no data, so none whose CRC it could give.
    if (h.MethodIndex == MethodDirectory) {
        h.HasFileCrc = false;
        return h.PackedSize == 0 && h.UnpackedSize == 0;
    }
    // Offsets and counts are signed 32-bit: a size that reads as negative
    // would move the next header backwards.
    return h.PackedSize >= 0 && h.UnpackedSize >= 0;
}

// Levels 0 and 1: the base header, then (level 1) the extended headers.
bool CExtractorLZH::ParseBaseHeader(const unsigned char* p, int n) {
    MemberHeaderLZH& h = MemberHeader;
    h.HeaderSize = p[0] + Level01HeadBytes;
    if (n < h.HeaderSize)
        return false;
    if (HeaderSum(p + Level01HeadBytes, p[0]) != p[1])
        return false;
    h.TimeStamp = DosTimeToTimeStamp(Le16(p + HeaderTimeAt), Le16(p + HeaderTimeAt + 2));

    const int nameLength = p[Level01NameLengthAt];
    if (Level01NameAt + nameLength > h.HeaderSize)
        return false; // the name would reach past the header
    SetName(p + Level01NameAt, nameLength);

    // After the name: the data's CRC-16, then at level 1 the system (1 byte)
    // and, in the last bytes, the size of the first extended header.
    const int rest = h.HeaderSize - nameLength - Level01NameAt;
    if (rest >= CrcSize) {
        h.FileCrc = static_cast<unsigned short>(Le16(p + Level01NameAt + nameLength));
        h.HasFileCrc = true;
    }
    if (p[HeaderLevelAt] == 0 || rest < CrcSize)
        return true;
    if (rest < CrcSize + ExtSizeBytes)
        return false; // no room for the size of the first extended header
    return ParseLevel1Extensions(p, n);
}

bool CExtractorLZH::ParseLevel1Extensions(const unsigned char* p, int n) {
    MemberHeaderLZH& h = MemberHeader;
    int crcAt = -1;
    unsigned short recorded = 0;
    for (;;) {
        const int size = static_cast<int>(Le16(p + h.HeaderSize - ExtSizeBytes));
        if (size == 0)
            break;
        // The packed size counts the extensions too, so it must hold this one.
        if (n - h.HeaderSize < size || h.PackedSize < size ||
            !TakeExtension(p, h.HeaderSize, size, crcAt, recorded))
            return false;
        h.HeaderSize += size;
        h.PackedSize -= size;
    }
    return crcAt < 0 || HeaderCrcMatches(p, crcAt, recorded);
}

// Level 2. Every extended header must lie inside the header's own size.
bool CExtractorLZH::ParseLevel2Header(const unsigned char* p, int n) {
    MemberHeaderLZH& h = MemberHeader;
    h.HeaderSize = static_cast<int>(Le16(p));
    if (n < h.HeaderSize || h.HeaderSize < Level2FirstExtensionAt + ExtSizeBytes)
        return false; // not all here, or no room for the fixed fields
    // The stored time is already UTC: taken as it is.
    h.TimeStamp = Le32Signed(p + HeaderTimeAt);
    h.FileCrc = static_cast<unsigned short>(Le16(p + Level2DataCrcAt));
    h.HasFileCrc = true;

    int crcAt = -1;
    unsigned short recorded = 0;
    for (int at = Level2FirstExtensionAt;;) {
        const int size = static_cast<int>(Le16(p + at));
        if (size == 0)
            break;
        if (at + ExtSizeBytes + size > h.HeaderSize ||
            !TakeExtension(p, at + ExtSizeBytes, size, crcAt, recorded))
            return false;
        at += size;
    }
    return crcAt >= 0 && HeaderCrcMatches(p, crcAt, recorded);
}
