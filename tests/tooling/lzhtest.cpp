// lzhtest: the tests' archive helpers on the command line, for the peer and
// Wine test scripts and the fuzzing seeds, so that every test reaches the
// same CRC-16 and the same archive builder as the unit tests.
//
//   lzhtest crc16 FILE               the file's CRC-16, four lower-case hex digits
//   lzhtest walk ARCHIVE             a line per member of a plain archive:
//                                    "HEADER_OFFSET LEVEL DATA_OFFSET PACKED METHOD NAME_LENGTH
//                                    NAME" (NAME_LENGTH -1 at level 2; NAME as stored)
//   lzhtest headers ARCHIVE          a line per level-2 header, field by field (below)
//   lzhtest reseal FILE OFFSET       recomputes the byte sum and header CRC of the
//                                    header at OFFSET after a patch
//   lzhtest drop-crc FILE OFFSET     removes the data CRC of the level-0 header at OFFSET
//   lzhtest patch FILE OFFSET HEX    overwrites bytes at OFFSET
//   lzhtest flip FILE OFFSET         inverts every bit of one byte
//   lzhtest bytes COUNT SEED         COUNT pseudo-random bytes (xorshift32)
//   lzhtest text COUNT SEED          COUNT bytes of word-like text in lines
//   lzhtest seeds OUTDIR             the hand-made archives that seed the extraction fuzzer
//   lzhtest windows OUTDIR FILE...   header seeds: up to 4 KiB from each position of
//                                    the files that looks like a header start
//   lzhtest names ARCHIVE HEX...     an archive of stored level-2 members named by the
//                                    bytes given in hex, each holding its name's hex
//
// Test tooling: it trusts the archives it is given. Exit status 0, or 1
// with a message.
#include "ArchiveBuilder.h"
#include "StreamLH5.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw std::runtime_error(message);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        Fail("cannot write " + path);
}

long long Number(const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != 0 || value < 0)
        Fail(std::string("not a number: ") + text);
    return value;
}

unsigned Byte(const std::string& d, size_t at) {
    if (at >= d.size())
        Fail("offset " + std::to_string(at) + " is past the end");
    return static_cast<unsigned char>(d[at]);
}

unsigned Le16(const std::string& d, size_t at) {
    return Byte(d, at) | (Byte(d, at + 1) << 8);
}

uint32_t Le32(const std::string& d, size_t at) {
    return Le16(d, at) | (static_cast<uint32_t>(Le16(d, at + 2)) << 16);
}

uint64_t Le64(const std::string& d, size_t at) {
    return Le32(d, at) | (static_cast<uint64_t>(Le32(d, at + 4)) << 32);
}

void SetLe16(std::string& d, size_t at, unsigned value) {
    d[at] = static_cast<char>(value & 0xFF);
    d[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// --- Walking headers --------------------------------------------------------

struct HeaderAt {
    size_t Offset;
    unsigned Level;
    size_t Size;       // the header with its extended headers
    size_t DataOffset; // where the member's data start
    uint32_t Packed;   // the member's data alone
    int CrcAt;         // offset in the header of the header-CRC field, or -1
};

// The header at `at`: its level, sizes and the place of its header CRC.
HeaderAt ReadHeader(const std::string& d, size_t at) {
    HeaderAt h{at, Byte(d, at + 20), 0, 0, Le32(d, at + 7), -1};
    if (h.Level == 2) {
        h.Size = Le16(d, at);
        for (size_t c = 24;;) {
            const unsigned e = Le16(d, at + c);
            if (e == 0)
                break;
            if (Byte(d, at + c + 2) == 0)
                h.CrcAt = static_cast<int>(c + 3);
            c += e;
        }
        h.DataOffset = at + h.Size;
        return h;
    }
    h.Size = Byte(d, at) + 2u;
    if (h.Level == 1) {
        for (unsigned e = Le16(d, at + h.Size - 2); e != 0; e = Le16(d, at + h.Size - 2)) {
            if (Byte(d, at + h.Size) == 0)
                h.CrcAt = static_cast<int>(h.Size + 1);
            h.Size += e;
            h.Packed -= e; // the packed size counts the extended headers too
        }
    }
    h.DataOffset = at + h.Size;
    return h;
}

template <class Visit> void EachHeader(const std::string& d, Visit visit) {
    size_t at = 0;
    while (at + 22 <= d.size() && d[at] != 0) {
        const HeaderAt h = ReadHeader(d, at);
        visit(h);
        at = h.DataOffset + h.Packed;
    }
}

// The member's name as stored: the base header's at levels 0 and 1, the
// name record's at level 2.
std::string StoredName(const std::string& d, const HeaderAt& h) {
    if (h.Level != 2)
        return d.substr(h.Offset + 22, Byte(d, h.Offset + 21));
    for (size_t c = 24;;) {
        const unsigned e = Le16(d, h.Offset + c);
        if (e == 0)
            return std::string();
        if (Byte(d, h.Offset + c + 2) == 0x01)
            return d.substr(h.Offset + c + 3, e - 3);
        c += e;
    }
}

int Walk(const std::string& path) {
    const std::string d = ReadFile(path);
    EachHeader(d, [&](const HeaderAt& h) {
        const int nameLength = h.Level == 2 ? -1 : static_cast<int>(Byte(d, h.Offset + 21));
        std::printf("%zu %u %zu %u %s %d %s\n", h.Offset, h.Level, h.DataOffset, h.Packed,
                    d.substr(h.Offset + 2, 5).c_str(), nameLength, StoredName(d, h).c_str());
    });
    return 0;
}

// A line per member: "OFFSET SIZE METHOD PACKED ORIGINAL TIME DATACRC OS
// CRC_OK TYPES CREATE WRITE ACCESS UNIXTIME NAME" (the 0x41 record's times as
// FILETIMEs, "-" where a record is missing), then "END OFFSET" for the end
// marker and "TAIL N" for the bytes after it. A header that is not level 2
// fails.
int Headers(const std::string& path) {
    const std::string d = ReadFile(path);
    size_t at = 0;
    while (at < d.size() && d[at] != 0) {
        if (Byte(d, at + 20) != 2)
            Fail("member at " + std::to_string(at) + ": header level " +
                 std::to_string(Byte(d, at + 20)));
        const HeaderAt h = ReadHeader(d, at);
        const std::string header = d.substr(at, h.Size);
        std::string name = "-", types, create = "-", write = "-", access = "-", unixTime = "-";
        for (size_t c = 24;;) {
            const unsigned e = Le16(header, c);
            if (e == 0)
                break;
            const unsigned type = Byte(header, c + 2);
            const std::string data = header.substr(c + 3, e - 3);
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", type);
            types += (types.empty() ? "" : ",") + std::string(hex);
            if (type == 0x01)
                name = data;
            if (type == 0x41) {
                create = std::to_string(Le64(data, 0));
                write = std::to_string(Le64(data, 8));
                access = std::to_string(Le64(data, 16));
            }
            if (type == 0x54)
                unixTime = std::to_string(Le32(data, 0));
            c += e;
        }
        int crcOk = 0;
        if (h.CrcAt >= 0) {
            std::string zeroed = header;
            SetLe16(zeroed, static_cast<size_t>(h.CrcAt), 0);
            crcOk = Crc16(zeroed) == Le16(header, static_cast<size_t>(h.CrcAt)) ? 1 : 0;
        }
        std::printf("%zu %zu %s %u %u %u %04x %c %d %s %s %s %s %s %s\n", at, h.Size,
                    header.substr(2, 5).c_str(), h.Packed, Le32(header, 11), Le32(header, 15),
                    Le16(header, 21), header[23], crcOk, types.c_str(), create.c_str(),
                    write.c_str(), access.c_str(), unixTime.c_str(), name.c_str());
        at += h.Size + h.Packed;
    }
    std::printf("END %zu\nTAIL %lld\n", at,
                static_cast<long long>(d.size()) - static_cast<long long>(at) - 1);
    return 0;
}

// --- Changing archives ------------------------------------------------------

int Reseal(const std::string& path, size_t at) {
    std::string d = ReadFile(path);
    const HeaderAt h = ReadHeader(d, at);
    if (h.Level < 2) {
        unsigned sum = 0;
        for (size_t i = 2; i < Byte(d, at) + 2u; ++i)
            sum += Byte(d, at + i);
        d[at + 1] = static_cast<char>(sum & 0xFF);
    }
    if (h.CrcAt >= 0) {
        SetLe16(d, at + static_cast<size_t>(h.CrcAt), 0);
        SetLe16(d, at + static_cast<size_t>(h.CrcAt), Crc16(d.substr(at, h.Size)));
    }
    WriteFile(path, d);
    return 0;
}

int DropCrc(const std::string& path, size_t at) {
    std::string d = ReadFile(path);
    const unsigned s = Byte(d, at);
    const unsigned n = Byte(d, at + 21);
    if (Byte(d, at + 20) != 0 || s + 2 < n + 24)
        Fail("no level-0 header with a data CRC at " + std::to_string(at));
    d.erase(at + 22 + n, 2);
    d[at] = static_cast<char>(s - 2);
    WriteFile(path, d);
    return Reseal(path, at);
}

std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        Fail("odd number of hex digits: " + hex);
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

int Patch(const std::string& path, size_t at, const std::string& hex) {
    std::string d = ReadFile(path);
    const std::string bytes = FromHex(hex);
    if (at + bytes.size() > d.size())
        Fail("cannot patch " + std::to_string(bytes.size()) + " bytes at " + std::to_string(at));
    d.replace(at, bytes.size(), bytes);
    WriteFile(path, d);
    return 0;
}

int Names(const std::string& path, const std::vector<std::string>& hexNames) {
    std::vector<TestMember> members;
    for (const std::string& hex : hexNames) {
        TestMember m;
        m.Name = FromHex(hex);
        m.Data = hex;
        members.push_back(m);
    }
    WriteFile(path, ArchiveBytes(members));
    return 0;
}

int Flip(const std::string& path, size_t at) {
    std::string d = ReadFile(path);
    d[at] = static_cast<char>(Byte(d, at) ^ 0xFF);
    WriteFile(path, d);
    return 0;
}

// --- Test data --------------------------------------------------------------

uint32_t XorShift(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

uint32_t Start(long long seed, uint32_t add) {
    const uint32_t x = static_cast<uint32_t>(seed * 2654435761ULL + add);
    return x != 0 ? x : 1;
}

// Each step of the generator gives four bytes, lowest first.
std::string Bytes(long long count, long long seed) {
    std::string out;
    uint32_t x = Start(seed, 12345);
    while (static_cast<long long>(out.size()) < count) {
        XorShift(x);
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((x >> (8 * i)) & 0xFF);
    }
    out.resize(static_cast<size_t>(count));
    return out;
}

const char* const Words[] = {
    "the",   "of",      "and",    "to",     "in",    "is",     "was",   "that",    "for",
    "it",    "with",    "as",     "his",    "on",    "be",     "at",    "by",      "this",
    "had",   "not",     "are",    "but",    "from",  "or",     "have",  "an",      "they",
    "which", "one",     "you",    "were",   "her",   "all",    "she",   "there",   "would",
    "their", "we",      "him",    "been",   "has",   "when",   "who",   "will",    "more",
    "no",    "if",      "out",    "so",     "said",  "what",   "up",    "its",     "about",
    "into",  "than",    "them",   "can",    "only",  "other",  "new",   "some",    "could",
    "time",  "these",   "two",    "may",    "then",  "do",     "first", "any",     "my",
    "now",   "such",    "like",   "our",    "over",  "man",    "me",    "even",    "most",
    "made",  "after",   "also",   "did",    "many",  "before", "must",  "through", "back",
    "years", "where",   "much",   "your",   "way",   "well",   "down",  "should",  "because",
    "each",  "just",    "those",  "people", "quill", "meter",  "ink",   "paper",   "Quillometer",
    "setup", "archive", "member", "header", "1998",  "2001",   "-lh5-", "level"};

std::string Text(long long count, long long seed) {
    const uint32_t wordCount = sizeof Words / sizeof Words[0];
    std::string out;
    uint32_t x = Start(seed, 777);
    uint32_t column = 0;
    while (static_cast<long long>(out.size()) < count) {
        XorShift(x);
        std::string word = Words[x % wordCount];
        if ((x >> 20) % 11 == 0 && word[0] >= 'a' && word[0] <= 'z')
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        out += word;
        column += static_cast<uint32_t>(word.size()) + 1;
        if (column > 60 + (x >> 27)) {
            out += (x >> 8) % 5 ? "\n" : ".\r\n";
            column = 0;
        } else {
            out += ' ';
        }
    }
    return out.substr(0, static_cast<size_t>(count));
}

// --- Fuzzing seeds ----------------------------------------------------------

TestMember Member(const std::string& name, const std::string& data, int level) {
    TestMember m;
    m.Name = name;
    m.Data = data;
    m.Level = level;
    m.Time = 981475132; // 2001-02-06 16:38:52 UTC
    m.DosDate = DosDate(2001, 2, 3);
    m.DosTime = DosTime(4, 5, 6);
    return m;
}

// One block whose three codes are constant: every symbol costs no bits.
Block ConstantBlock(const Token& token, int count, int announced = -1) {
    Block b;
    b.Tokens.assign(static_cast<size_t>(count), token);
    b.Announced = announced;
    b.Pre = Constant(0);
    b.Char = Constant(CharSymbol(token));
    b.Pos = Constant(PositionSymbol(token.Distance));
    return b;
}

TestMember Lh5(TestMember m, const std::string& packed) {
    m.Method = "-lh5-";
    m.UsePacked = true;
    m.Packed = packed;
    return m;
}

// Archives that LHA tools do not make but the engine must take apart:
// headers without a file CRC, -lz4-, level-1 name and header-CRC records,
// -lh5- blocks of zero-bit symbols, a match past the member's size, a block
// announcing 0 symbols, data that run out, a member far larger than its
// data, names that must not become files, a header across the scan buffer.
int Seeds(const std::string& dir) {
    const std::string hello = "hello, world\n";
    auto put = [&](const std::string& name, const std::string& bytes) {
        WriteFile(dir + "/" + name, bytes);
    };

    TestMember empty = Member("EMPTY.TXT", "", 0);
    put("lh0-level0-crc.lzh", ArchiveBytes({Member("HELLO.TXT", hello, 0), empty}));
    TestMember noCrc = Member("dir\\a.txt", hello, 0);
    noCrc.FileCrc = false;
    put("lh0-level0-nocrc.lzh", ArchiveBytes({noCrc}));
    TestMember lz4 = Member("short", hello, 1);
    lz4.Method = "-lz4-";
    lz4.Extensions = {std::string("\x01longer-name.txt"), std::string("\x40\x20\x00", 3)};
    put("lz4-level1-ext.lzh", ArchiveBytes({lz4}));
    TestMember level2 = Member("sub/level2.txt", hello, 2);
    level2.Extensions = {std::string("\x02"
                                     "folder\xFF")};
    put("lh0-level2-ext.lzh", ArchiveBytes({level2}));

    // 300 literals from a header of 52 bits.
    put("lh5-constant-literal.lzh", ArchiveBytes({Lh5(Member("a300.txt", std::string(300, 'a'), 2),
                                                      Encode({ConstantBlock(Lit('a'), 300)}))}));
    // Matches of 256 spaces; the size is no multiple of 256, so the last
    // match runs past it, and the file ends at the size.
    TestMember over = Lh5(Member("spaces.txt", std::string(1000, ' '), 0),
                          Encode({ConstantBlock(Match(256, 0), 4)}));
    put("lh5-constant-overrun.lzh", ArchiveBytes({over}));
    // A literal, then a block that announces 0 symbols and serves one.
    put("lh5-empty-block.lzh",
        ArchiveBytes({Lh5(Member("zero.txt", "xy", 0),
                          Encode({ConstantBlock(Lit('x'), 1), ConstantBlock(Lit('y'), 1, 0)}))}));
    // 1,000,000 bytes declared, 65,535 in the data: the next block header
    // would come from past the data.
    TestMember large = Lh5(Member("large.txt", std::string(65535, 'q'), 2),
                           Encode({ConstantBlock(Lit('q'), 65535)}));
    put("lh5-constant-large.lzh", MemberWithSize(large, 1000000) + std::string(1, 0));
    // Data that run out.
    TestMember shortData = Lh5(Member("short.txt", std::string(40, 0), 0), std::string("\0\1", 2));
    shortData.FileCrc = false;
    put("lh5-short-data.lzh", ArchiveBytes({shortData}));
    // An empty -lh5- member with data that are no block.
    put("lh5-empty.lzh", ArchiveBytes({Lh5(Member("nothing.txt", "", 2), "\xFF\xFF")}));
    // Names that must not become files: a device, the temporary name.
    put("names.lzh", ArchiveBytes({Member("~qm0000.tmp", "first", 2), Member("nul.txt", "x", 2),
                                   Member("COM1", "y", 0)}));
    // A stored member whose header begins 10 bytes before the end of the
    // first 16,384-byte scan buffer.
    std::string filler;
    for (int i = 1; i <= 16374; ++i)
        filler += static_cast<char>('A' + (i * 7) % 26);
    put("straddle.bin", filler + MemberBytes(Member("edge.txt", hello, 0)));
    // A level-1 -lh0- header whose packed size reads as negative
    // (0x80000000), with one 5-byte extension.
    TestMember negative = Member("a", "", 1);
    negative.Extensions = {std::string("\x41\0\0", 3)};
    negative.HeaderCrc = false;
    std::string header = MemberHeaderBytes(negative);
    header[10] = static_cast<char>(0x80);
    SetLe16(header, 7, 0);
    ResealSum(header);
    put("level1-packed-overflow.lzh", header);
    return 0;
}

// Up to 16 windows a file, each a header-like position ('-', 'l' at 2 and
// 3, '-' at 6) with up to 4 KiB after it; a window seen before is skipped.
int Windows(const std::string& dir, const std::vector<std::string>& files) {
    std::set<std::string> seen;
    for (const std::string& path : files) {
        const std::string d = ReadFile(path);
        const std::string base = path.substr(path.find_last_of('/') + 1);
        int taken = 0;
        for (size_t i = 0; i + 22 <= d.size() && taken < 16; ++i) {
            if (d[i + 2] != '-' || d[i + 6] != '-' || d[i + 3] != 'l')
                continue;
            const std::string window = d.substr(i, 4096);
            if (!seen.insert(window).second)
                continue;
            WriteFile(dir + "/" + base + "_" + std::to_string(i), window);
            ++taken;
        }
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: lzhtest crc16 FILE | walk ARCHIVE | headers ARCHIVE | reseal FILE "
                         "OFFSET | drop-crc FILE OFFSET | patch FILE OFFSET HEX | flip FILE OFFSET "
                         "| bytes COUNT SEED | text COUNT SEED | seeds OUTDIR | windows OUTDIR "
                         "FILE... | names ARCHIVE HEX...\n");
    return 64;
}

int Run(const std::vector<std::string>& a) {
    if (a.empty())
        return Usage();
    const std::string& verb = a[0];
    auto n = [&](size_t i) { return Number(a[i].c_str()); };
    if (verb == "crc16" && a.size() == 2)
        return std::printf("%04x\n", Crc16(ReadFile(a[1]))) < 0;
    if (verb == "walk" && a.size() == 2)
        return Walk(a[1]);
    if (verb == "headers" && a.size() == 2)
        return Headers(a[1]);
    if (verb == "reseal" && a.size() == 3)
        return Reseal(a[1], static_cast<size_t>(n(2)));
    if (verb == "drop-crc" && a.size() == 3)
        return DropCrc(a[1], static_cast<size_t>(n(2)));
    if (verb == "patch" && a.size() == 4)
        return Patch(a[1], static_cast<size_t>(n(2)), a[3]);
    if (verb == "flip" && a.size() == 3)
        return Flip(a[1], static_cast<size_t>(n(2)));
    if ((verb == "bytes" || verb == "text") && a.size() == 3) {
        const std::string out = verb == "bytes" ? Bytes(n(1), n(2)) : Text(n(1), n(2));
        return std::fwrite(out.data(), 1, out.size(), stdout) != out.size();
    }
    if (verb == "seeds" && a.size() == 2)
        return Seeds(a[1]);
    if (verb == "names" && a.size() >= 2)
        return Names(a[1], std::vector<std::string>(a.begin() + 2, a.end()));
    if (verb == "windows" && a.size() >= 2)
        return Windows(a[1], std::vector<std::string>(a.begin() + 2, a.end()));
    return Usage();
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lzhtest: %s\n", e.what());
        return 1;
    }
}
