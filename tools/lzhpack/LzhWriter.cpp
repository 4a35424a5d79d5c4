#include "LzhWriter.h"

#include "EncoderLH5.h"
#include "FormatLZH.h"
#include "LittleEndian.h"

namespace {

enum : uint8_t {
    AttributeArchive = 0x20,
    // Windows NT: readers keep the names' case as stored (an MS-DOS archive
    // would have names in capitals shown in lower case).
    OsWindowsNT = 'W'
};

void Set16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

// The start of an extended header with `dataSize` bytes of data, which the
// caller appends: its size (the last field before it, of the fixed fields
// or of the extended header before) and its type.
void PutExtension(std::vector<uint8_t>& out, uint8_t type, size_t dataSize) {
    Put16(out, static_cast<uint32_t>(ExtFrameSize + dataSize));
    out.push_back(type);
}

// The header's time field holds an unsigned 32-bit count of seconds.
uint32_t HeaderTime(int64_t seconds) {
    if (seconds < 0)
        return 0;
    if (seconds > static_cast<int64_t>(0xFFFFFFFF))
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(seconds);
}

struct CrcTable {
    uint16_t Entry[256];
    CrcTable() {
        for (int i = 0; i < 256; ++i) {
            uint16_t r = static_cast<uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(r >> 1);
            Entry[i] = r;
        }
    }
};

const CrcTable Table;

} // namespace

uint16_t Crc16(const uint8_t* p, size_t n, uint16_t crc) {
    for (size_t i = 0; i < n; ++i)
        crc = static_cast<uint16_t>(Table.Entry[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

uint64_t WindowsFileTime(int64_t unixSeconds) {
    const int64_t epochDifference = 11644473600; // 1601-01-01 to 1970-01-01
    int64_t since1601 = unixSeconds + epochDifference;
    return since1601 < 0 ? 0 : static_cast<uint64_t>(since1601) * 10000000u;
}

namespace {

bool WriteAll(FILE* out, const std::vector<uint8_t>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

// Archive positions, which pass 2 GiB in a large archive.
bool TellArchive(FILE* f, int64_t& at) {
#ifdef _WIN32
    at = _ftelli64(f);
#else
    at = static_cast<int64_t>(ftello(f));
#endif
    return at >= 0;
}

bool SeekArchive(FILE* f, int64_t at) {
#ifdef _WIN32
    return _fseeki64(f, at, SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

// The member's data as it is read: its count and CRC-16. It gives at most one
// byte more than the size the header was made for, which is enough to tell
// that the file grew.
struct CInputReader {
    FILE* In;
    uint64_t Limit;
    uint64_t Count = 0;
    uint16_t Crc = 0;
    bool Failed = false;

    size_t Read(uint8_t* buffer, size_t size) {
        if (size > Limit - Count)
            size = static_cast<size_t>(Limit - Count);
        size_t got = size ? std::fread(buffer, 1, size, In) : 0;
        if (got < size && std::ferror(In))
            Failed = true;
        Crc = Crc16(buffer, got, Crc);
        Count += got;
        return got;
    }
};

} // namespace

PackResult PackMember(FILE* archive, FILE* input, MemberRecord& m, PackMode mode) {
    int64_t headerAt;
    if (!TellArchive(archive, headerAt))
        return PackResult::WriteFailed;
    const uint64_t size = m.OriginalSize;
    m.Compressed = mode != PackMode::Store && size > 0;
    m.PackedSize = 0;
    m.DataCrc = 0;
    // The header's size does not depend on the fields still open.
    const size_t headerSize = Level2Header(m).size();
    if (!WriteAll(archive, Level2Header(m)))
        return PackResult::WriteFailed;

    CInputReader in{input, size + 1};
    bool writeFailed = false;
    if (m.Compressed) {
        uint64_t written = 0;
        LH5Stream stream;
        stream.Read = [&](uint8_t* buffer, size_t n) { return in.Read(buffer, n); };
        stream.Write = [&](const uint8_t* bytes, size_t n) {
            // In the default mode a member that would not shrink is stored:
            // once its compressed bytes would reach the file's size, the
            // rest is not worth making, and no byte past the size is written.
            if (mode == PackMode::Auto && written + n >= size)
                return false;
            if (std::fwrite(bytes, 1, n, archive) != n) {
                writeFailed = true;
                return false;
            }
            written += n;
            return true;
        };
        EncoderOptions options;
        options.InputBytes = size;
        bool stopped = EncodeLH5(stream, options).Stopped;
        if (writeFailed)
            return PackResult::WriteFailed;
        if (stopped) {
            m.Compressed = false;
            if (!SeekArchive(archive, headerAt + static_cast<int64_t>(headerSize)))
                return PackResult::WriteFailed;
            if (std::fseek(input, 0, SEEK_SET) != 0)
                return PackResult::ReadFailed;
            in = CInputReader{input, size + 1};
        } else {
            m.PackedSize = static_cast<uint32_t>(written);
        }
    }
    if (!m.Compressed) {
        std::vector<uint8_t> buffer(1 << 16);
        for (;;) {
            size_t got = in.Read(buffer.data(), buffer.size());
            if (got == 0)
                break;
            if (std::fwrite(buffer.data(), 1, got, archive) != got)
                return PackResult::WriteFailed;
        }
        m.PackedSize = static_cast<uint32_t>(in.Count);
    }
    if (in.Failed)
        return PackResult::ReadFailed;
    if (in.Count != size || std::fgetc(input) != EOF)
        return PackResult::SizeChanged;
    m.DataCrc = in.Crc;
    if (!SeekArchive(archive, headerAt) || !WriteAll(archive, Level2Header(m)) ||
        !SeekArchive(archive, headerAt + static_cast<int64_t>(headerSize) + m.PackedSize))
        return PackResult::WriteFailed;
    return PackResult::Written;
}

std::vector<uint8_t> Level2Header(const MemberRecord& m) {
    std::vector<uint8_t> h;
    Put16(h, 0); // total size, set below
    const char* method = MethodNames[m.Compressed ? MethodLH5 : MethodLH0];
    h.insert(h.end(), method, method + MethodLength);
    Put32(h, m.PackedSize);
    Put32(h, m.OriginalSize);
    Put32(h, HeaderTime(m.LastWrite));
    h.push_back(AttributeArchive);
    h.push_back(2); // header level
    Put16(h, m.DataCrc);
    h.push_back(OsWindowsNT);

    PutExtension(h, ExtFileName, m.Name.size());
    h.insert(h.end(), m.Name.begin(), m.Name.end());

    PutExtension(h, ExtWindowsTimes, ExtWindowsTimesSize);
    Put64(h, WindowsFileTime(m.Creation));
    Put64(h, WindowsFileTime(m.LastWrite));
    Put64(h, WindowsFileTime(m.LastAccess));

    // A header of a size divisible by 256 would start with the byte 0 and
    // read as the end of the archive. A padding byte after the extended
    // headers is not enough (7-Zip takes it for member data), so such a
    // header also carries the last-write time as a Unix time record, which
    // every reader knows and which repeats what the header already says.
    const size_t crcPart = ExtSizeBytes + ExtFrameSize + CrcSize;
    if ((h.size() + crcPart) % 256 == 0) {
        PutExtension(h, ExtUnixTime, ExtUnixTimeSize);
        Put32(h, HeaderTime(m.LastWrite));
    }

    PutExtension(h, ExtHeaderCrc, CrcSize);
    size_t crcAt = h.size();
    Put16(h, 0);
    Put16(h, 0); // no further extended header
    Set16(h, 0, static_cast<uint32_t>(h.size()));
    Set16(h, crcAt, Crc16(h.data(), h.size()));
    return h;
}
