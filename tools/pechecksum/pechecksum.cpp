// pechecksum: checks the checksum field of a Windows executable.
//
//   pechecksum FILE
//
// Prints the field and the checksum of the file's bytes:
//   FILE: PE checksum field 0002B4D6, computed 0002B4D6
// Exit status 0 when they agree, 1 when they differ or FILE is no PE image
// (with a message), 64 on a wrong command line.
//
// The checksum is the one Windows computes (CheckSumMappedFile): the file
// read as little-endian 16-bit words, a last odd byte padded with zero, the
// field itself read as zero, added with the carry folded back into the low
// 16 bits after every word; then the file's length is added. The signing
// tool and the linker write it; the release checks it after signing.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int UsageExit = 64;
const int FailExit = 1;

// Offsets in the image's headers.
const uint32_t NewHeaderPointer = 60;  // e_lfanew: offset of "PE\0\0"
const uint32_t FileHeaderSize = 20;    // the COFF header after the signature
const uint32_t OptionalSizeField = 16; // SizeOfOptionalHeader, in the COFF header
const uint32_t ChecksumField = 64;     // CheckSum, in the optional header (PE32 and PE32+)
const uint32_t ChecksumSize = 4;

const size_t ChunkSize = 1 << 16; // even: every chunk starts at a word

int Fail(const std::string& message) {
    std::fprintf(stderr, "pechecksum: %s\n", message.c_str());
    return FailExit;
}

uint32_t Le16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

bool ReadAt(std::FILE* f, long offset, uint8_t* buffer, size_t count) {
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(buffer, 1, count, f) == count;
}

// Finds the checksum field: the offset and the value stored there. False
// (with why) when the file is no PE image or the field lies past its end.
bool FindChecksumField(std::FILE* f, uint64_t size, uint32_t& offset, uint32_t& stored,
                       std::string& why) {
    uint8_t dos[NewHeaderPointer + 4];
    if (size < sizeof dos || !ReadAt(f, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        why = "no MZ header";
        return false;
    }
    const uint64_t pe = Le32(dos + NewHeaderPointer);
    uint8_t head[4 + FileHeaderSize];
    if (pe + sizeof head > size || !ReadAt(f, static_cast<long>(pe), head, sizeof head) ||
        head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0) {
        why = "no PE signature where the MZ header points";
        return false;
    }
    const uint64_t optional = pe + sizeof head;
    const uint32_t optionalSize = Le16(head + 4 + OptionalSizeField);
    const uint64_t field = optional + ChecksumField;
    if (optionalSize < ChecksumField + ChecksumSize || field + ChecksumSize > size) {
        why = "the optional header ends before its checksum field";
        return false;
    }
    uint8_t value[ChecksumSize];
    if (!ReadAt(f, static_cast<long>(field), value, sizeof value)) {
        why = "cannot read the checksum field";
        return false;
    }
    offset = static_cast<uint32_t>(field);
    stored = Le32(value);
    return true;
}

// The checksum of the whole file with the four bytes at fieldOffset read as
// zero. False when a read fails.
bool ComputeChecksum(std::FILE* f, uint64_t size, uint32_t fieldOffset, uint32_t& checksum) {
    if (std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    std::vector<uint8_t> chunk(ChunkSize + 1);
    uint32_t sum = 0;
    uint64_t at = 0;
    while (at < size) {
        const size_t count = std::fread(chunk.data(), 1, ChunkSize, f);
        if (count == 0)
            return false;
        chunk[count] = 0; // the pad of a last odd byte
        for (uint64_t b = fieldOffset; b < fieldOffset + ChecksumSize; ++b)
            if (b >= at && b < at + count)
                chunk[b - at] = 0;
        for (size_t i = 0; i < count; i += 2) {
            sum += Le16(&chunk[i]);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        at += count;
    }
    if (at != size)
        return false;
    sum = (sum & 0xFFFF) + (sum >> 16);
    checksum = sum + static_cast<uint32_t>(size);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: pechecksum FILE\n"
                     "  Prints the checksum field of the Windows executable FILE and the\n"
                     "  checksum of its bytes; exits with 0 when they agree, 1 when not.\n");
        return UsageExit;
    }
    const std::string path = argv[1];
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return Fail("cannot open " + path);
    long end = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        end = std::ftell(f);
    // The length enters the sum as 32 bits; no PE image is longer.
    if (end < 0 || static_cast<uint64_t>(end) > UINT32_MAX) {
        std::fclose(f);
        return Fail(path + ": cannot tell its size, or it is longer than 4 GiB");
    }
    const uint64_t size = static_cast<uint64_t>(end);
    uint32_t offset = 0, stored = 0, computed = 0;
    std::string why;
    if (!FindChecksumField(f, size, offset, stored, why)) {
        std::fclose(f);
        return Fail(path + ": no Windows executable: " + why);
    }
    const bool read = ComputeChecksum(f, size, offset, computed);
    std::fclose(f);
    if (!read)
        return Fail("cannot read " + path);
    std::printf("%s: PE checksum field %08X, computed %08X\n", path.c_str(),
                static_cast<unsigned>(stored), static_cast<unsigned>(computed));
    return stored == computed ? 0 : FailExit;
}
