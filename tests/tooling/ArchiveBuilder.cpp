#include "ArchiveBuilder.h"

#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Set16(std::string& out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

const std::string& Payload(const TestMember& m) {
    return m.UsePacked ? m.Packed : m.Data;
}

// An extension as it sits in the chain: type, data, and room for the size of
// the next one.
std::string Extension(const std::string& typeAndData) {
    return typeAndData + std::string(2, 0);
}

std::string NameExtension(const std::string& name) {
    return Extension(std::string(1, 1) + name);
}

std::string CrcExtension() {
    return Extension(std::string(3, 0));
}

// Links a list of extensions: the size of the first goes before them, each
// one's last two bytes hold the size of the next.
std::string Chain(const std::vector<std::string>& extensions, std::string& firstSize) {
    std::string out;
    firstSize.clear();
    Put16(firstSize, extensions.empty() ? 0 : static_cast<uint32_t>(extensions[0].size()));
    for (size_t i = 0; i < extensions.size(); ++i) {
        std::string ext = extensions[i];
        const uint32_t next = i + 1 < extensions.size() ? extensions[i + 1].size() : 0;
        Set16(ext, ext.size() - 2, next);
        out += ext;
    }
    return out;
}

std::vector<std::string> Extensions(const TestMember& m, bool withName) {
    std::vector<std::string> list;
    if (withName)
        list.push_back(NameExtension(m.Name));
    for (const std::string& extra : m.Extensions)
        list.push_back(Extension(extra));
    if (m.HeaderCrc)
        list.push_back(CrcExtension());
    return list;
}

// Fills in the header-CRC extension, if any, over the finished header.
void SealHeaderCrc(std::string& header, size_t crcAt, bool hasCrc) {
    if (hasCrc)
        Set16(header, crcAt, Crc16(header));
}

std::string Level01Header(const TestMember& m) {
    const bool level1 = m.Level == 1;
    const std::string baseName = level1 && m.ExtName ? std::string() : m.Name;
    std::string h(2, 0);
    h += m.Method;
    std::string extChain;
    std::string firstSize;
    if (level1)
        extChain = Chain(Extensions(m, m.ExtName), firstSize);
    Put32(h, static_cast<uint32_t>(Payload(m).size() + extChain.size()));
    Put32(h, static_cast<uint32_t>(m.Data.size()));
    Put16(h, m.DosTime);
    Put16(h, m.DosDate);
    h += static_cast<char>(0x20); // attribute
    h += static_cast<char>(m.Level);
    h += static_cast<char>(baseName.size());
    h += baseName;
    if (m.FileCrc || level1)
        Put16(h, Crc16(m.Data));
    if (level1) {
        h += 'U'; // operating system
        h += firstSize;
    }
    h[0] = static_cast<char>(h.size() - 2);
    unsigned sum = 0;
    for (size_t i = 2; i < h.size(); ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum & 0xFF);
    const size_t crcAt = h.size() + extChain.size() - 4; // the CRC extension comes last
    h += extChain;
    SealHeaderCrc(h, crcAt, level1 && m.HeaderCrc);
    return h;
}

std::string Level2Header(const TestMember& m) {
    std::string h(2, 0);
    h += m.Method;
    Put32(h, static_cast<uint32_t>(Payload(m).size()));
    Put32(h, static_cast<uint32_t>(m.Data.size()));
    Put32(h, m.Time);
    h += static_cast<char>(0x20);
    h += static_cast<char>(2);
    Put16(h, Crc16(m.Data));
    h += 'W';
    std::string firstSize;
    const std::string chain = Chain(Extensions(m, true), firstSize);
    h += firstSize;
    h += chain;
    int padding = m.Padding;
    if (m.AvoidEndMarkerSize && (h.size() + static_cast<size_t>(padding)) % 256 == 0)
        ++padding;
    h += std::string(static_cast<size_t>(padding), 0);
    Set16(h, 0, static_cast<uint32_t>(h.size()));
    const size_t crcAt = h.size() - static_cast<size_t>(padding) - 4;
    SealHeaderCrc(h, crcAt, m.HeaderCrc);
    return h;
}

} // namespace

// The register is shifted right a bit at a time, with the reflected
// polynomial 0xA001 folded in after every 1 shifted out; the table holds
// that for each byte value, so that the fuzzer's files of megabytes are
// checked quickly.
uint16_t Crc16(const std::string& bytes) {
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(256);
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = i;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
            t[i] = static_cast<uint16_t>(r);
        }
        return t;
    }();
    unsigned crc = 0;
    for (unsigned char b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return static_cast<uint16_t>(crc);
}

std::string MemberHeaderBytes(const TestMember& m) {
    if (m.Level == 0 || m.Level == 1)
        return Level01Header(m);
    if (m.Level == 2)
        return Level2Header(m);
    throw std::invalid_argument("header level");
}

std::string MemberBytes(const TestMember& m) {
    return MemberHeaderBytes(m) + Payload(m);
}

std::string ArchiveBytes(const std::vector<TestMember>& members, bool endMarker) {
    std::string out;
    for (const TestMember& m : members)
        out += MemberBytes(m);
    if (endMarker)
        out += std::string(1, 0);
    return out;
}

std::string Filler(size_t size, uint32_t seed) {
    std::string out(size, 0);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        char c = static_cast<char>(x >> 24);
        out[i] = c == '-' ? '+' : c;
    }
    return out;
}

uint16_t DosDate(int year, int month, int day) {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

void ResealSum(std::string& header) {
    const size_t size = static_cast<unsigned char>(header[0]) + 2u;
    unsigned sum = 0;
    for (size_t i = 2; i < size; ++i)
        sum += static_cast<unsigned char>(header[i]);
    header[1] = static_cast<char>(sum & 0xFF);
}

void ResealLevel2(std::string& header) {
    const size_t crcAt = header.size() - 4;
    Set16(header, crcAt, 0);
    Set16(header, crcAt, Crc16(header));
}
