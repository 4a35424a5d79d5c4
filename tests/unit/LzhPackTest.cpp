// The pieces of lzhpack's writer against the engine that reads them: code
// lengths and canonical codes, the exact block size, the match finder, the
// -lh5- encoder end to end through CExtractorLZH, and the level-2 header.
#include "BlockWriterLH5.h"
#include "EncoderLH5.h"
#include "ExtractorLZH.h"
#include "HuffmanCode.h"
#include "HuffmanTable.h"
#include "LzhWriter.h"
#include "MatchFinder.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// Deterministic pseudo-random bytes (xorshift32).
Bytes Noise(size_t size, uint32_t seed, int alphabet = 256) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>((x >> 8) % static_cast<uint32_t>(alphabet));
    }
    return out;
}

// Word-like text with line ends.
Bytes Words(size_t size, uint32_t seed) {
    static const char* words[] = {"quill",   "meter",  "ink", "the", "of",     "paper", "setup",
                                  "archive", "member", "and", "a",   "header", "window"};
    Bytes out;
    Bytes pick = Noise(size, seed);
    for (size_t i = 0; out.size() < size; ++i) {
        const char* w = words[pick[i % pick.size()] % 13];
        out.insert(out.end(), w, w + std::strlen(w));
        out.push_back(pick[(i + 7) % pick.size()] % 9 == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

Bytes Repeat(const Bytes& block, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i)
        out.insert(out.end(), block.begin(), block.end());
    return out;
}

// ---------------------------------------------------------------------------
// Code lengths

uint64_t CodedBits(const std::vector<uint32_t>& freq, const uint8_t* lengths) {
    uint64_t bits = 0;
    for (size_t i = 0; i < freq.size(); ++i)
        bits += static_cast<uint64_t>(freq[i]) * lengths[i];
    return bits;
}

// The cheapest lengths of at most maxBits by trying every assignment.
uint64_t BruteForceBits(const std::vector<uint32_t>& freq, int maxBits) {
    size_t n = freq.size();
    std::vector<uint8_t> len(n, 1);
    uint64_t best = UINT64_MAX;
    for (;;) {
        uint32_t kraft = KraftSum(len.data(), static_cast<int>(n), maxBits);
        if (kraft <= (1u << maxBits))
            best = std::min(best, CodedBits(freq, len.data()));
        size_t k = 0;
        while (k < n && len[k] == maxBits)
            len[k++] = 1;
        if (k == n)
            return best;
        ++len[k];
    }
}

TEST(LzhPackCodeLengths, AreOptimalUnderTheLimit) {
    const std::vector<std::vector<uint32_t>> cases = {{1, 1, 1, 1, 1, 1},
                                                      {1, 2, 4, 8, 16, 32},
                                                      {100, 1, 1, 1, 1, 50},
                                                      {5, 9, 12, 13, 16, 45},
                                                      {1, 1, 2, 3, 5, 8, 13}};
    for (int maxBits = 3; maxBits <= 5; ++maxBits)
        for (const std::vector<uint32_t>& freq : cases) {
            std::vector<uint8_t> len(freq.size());
            LimitedCodeLengths(freq.data(), static_cast<int>(freq.size()), maxBits, len.data());
            EXPECT_EQ(CodedBits(freq, len.data()), BruteForceBits(freq, maxBits));
            EXPECT_EQ(KraftSum(len.data(), static_cast<int>(len.size()), maxBits), 1u << maxBits);
            EXPECT_LE(*std::max_element(len.begin(), len.end()), maxBits);
        }
}

TEST(LzhPackCodeLengths, StayWithin16BitsWhereHuffmanWouldNot) {
    // Fibonacci frequencies give an unlimited Huffman code about 40 deep.
    std::vector<uint32_t> freq(CharCodeCount, 0);
    uint32_t a = 1, b = 1;
    for (int i = 0; i < 40; ++i) {
        freq[static_cast<size_t>(i) * 7] = a;
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<uint8_t> len(freq.size());
    EXPECT_EQ(LimitedCodeLengths(freq.data(), static_cast<int>(freq.size()), 16, len.data()), 40);
    EXPECT_EQ(*std::max_element(len.begin(), len.end()), 16);
    EXPECT_EQ(KraftSum(len.data(), static_cast<int>(len.size()), 16), 1u << 16);
    for (size_t i = 0; i < freq.size(); ++i)
        EXPECT_EQ(len[i] != 0, freq[i] != 0) << i;
}

TEST(LzhPackCodeLengths, OneOrNoSymbol) {
    uint32_t freq[5] = {0, 0, 7, 0, 0};
    uint8_t len[5];
    EXPECT_EQ(LimitedCodeLengths(freq, 5, 16, len), 1);
    EXPECT_EQ(len[2], 1);
    freq[2] = 0;
    EXPECT_EQ(LimitedCodeLengths(freq, 5, 16, len), 0);
    for (uint8_t l : len)
        EXPECT_EQ(l, 0);
}

// The engine's table decodes every canonical code to its own symbol.
TEST(LzhPackCanonicalCodes, DecodeWithTheEnginesTable) {
    Bytes sample = Noise(20000, 3, 300);
    std::vector<uint32_t> freq(CharCodeCount, 0);
    for (size_t i = 0; i < sample.size(); ++i)
        freq[(sample[i] * 7 + i % 5) % CharCodeCount] +=
            static_cast<uint32_t>(1 + (i % 97 == 0 ? 500 : 0));
    uint8_t len[CharCodeCount];
    uint16_t code[CharCodeCount];
    LimitedCodeLengths(freq.data(), CharCodeCount, 16, len);
    CanonicalCodes(len, CharCodeCount, code);
    int lengths[CharCodeCount];
    for (int i = 0; i < CharCodeCount; ++i)
        lengths[i] = len[i];
    CHuffmanTable table;
    table.Build(CharCodeCount, 12, lengths);
    for (int s = 0; s < CharCodeCount; ++s) {
        if (!len[s])
            continue;
        unsigned window = static_cast<unsigned>(code[s]) << (16 - len[s]);
        int symbol = -1;
        EXPECT_EQ(table.Decode(window, symbol), len[s]);
        EXPECT_EQ(symbol, s);
        // Whatever bits follow the code do not change the result.
        window |= (1u << (16 - len[s])) - 1;
        EXPECT_EQ(table.Decode(window, symbol), len[s]);
        EXPECT_EQ(symbol, s);
    }
}

// ---------------------------------------------------------------------------
// Blocks

TEST(LzhPackBlocks, PredictedSizeIsTheWrittenSize) {
    Bytes noise = Noise(30000, 9);
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<LzSymbol> symbols;
        for (size_t i = 0; i < 3000; ++i) {
            uint8_t r = noise[i];
            bool match = kind == 1 || (kind >= 2 && r % 3 == 0);
            if (kind == 3 && i > 0)
                symbols.push_back({static_cast<uint16_t>(256 + 253), 0}); // one symbol, one slot
            else if (match)
                symbols.push_back({static_cast<uint16_t>(256 + r % 254),
                                   static_cast<uint16_t>(noise[i + 1] * 31 % 8192)});
            else
                symbols.push_back({static_cast<uint16_t>(kind == 0 ? r % 3 : r), 0});
        }
        BlockStats stats;
        stats.Clear();
        for (const LzSymbol& s : symbols)
            stats.Add(s);
        CBitWriter out;
        WriteBlock(out, symbols.data(), static_cast<int>(symbols.size()));
        EXPECT_EQ(out.BitCount(), BlockBits(stats)) << "kind " << kind;
    }
}

TEST(LzhPackBlocks, PositionSlots) {
    EXPECT_EQ(PositionSlot(0), 0);
    EXPECT_EQ(PositionSlot(1), 1);
    EXPECT_EQ(PositionSlot(2), 2);
    EXPECT_EQ(PositionSlot(3), 2);
    EXPECT_EQ(PositionSlot(4), 3);
    EXPECT_EQ(PositionSlot(4095), 12);
    EXPECT_EQ(PositionSlot(4096), 13);
    EXPECT_EQ(PositionSlot(8191), 13);
    EXPECT_EQ(PositionExtraBits(13), 12);
}

// ---------------------------------------------------------------------------
// Match finder

TEST(LzhPackMatchFinder, ReportsTheLongestMatchOfEachDistanceClass) {
    // A small alphabet makes many long matches in every distance class; a
    // deep search must report, as a brute-force scan finds them, for each
    // class whose longest match is longer than those of all nearer classes,
    // that length at the nearest distance of the class that has it.
    Bytes data = Noise(40000, 5, 3);
    CMatchFinder finder(data.data(), static_cast<uint32_t>(data.size()), 1 << 20);
    MatchCandidate found[CMatchFinder::MaxReported];
    for (uint32_t pos = 0; pos < data.size(); ++pos) {
        int n = finder.Find(pos, found);
        uint32_t limit = std::min<uint32_t>(256, static_cast<uint32_t>(data.size()) - pos);
        for (int k = 0; k < n; ++k) {
            ASSERT_GE(found[k].Length, 3);
            ASSERT_LE(found[k].Length, limit);
            ASSERT_GE(found[k].Distance, 1);
            ASSERT_LE(found[k].Distance, 8192);
            ASSERT_LE(found[k].Distance, pos);
            ASSERT_EQ(found[k].Slot, PositionSlot(found[k].Distance - 1u));
            ASSERT_EQ(0, std::memcmp(&data[pos], &data[pos - found[k].Distance], found[k].Length));
            if (k > 0) {
                ASSERT_GT(found[k].Length, found[k - 1].Length);
                ASSERT_GT(found[k].Slot, found[k - 1].Slot);
            }
        }
        if (pos % 97 != 0 || pos < 3)
            continue;
        uint32_t longest[PosCodeCount] = {0}, nearest[PosCodeCount] = {0};
        for (uint32_t d = 1; d <= std::min<uint32_t>(8192, pos); ++d) {
            uint32_t l = 0;
            while (l < limit && data[pos + l] == data[pos - d + l])
                ++l;
            int c = PositionSlot(d - 1);
            if (l > longest[c]) {
                longest[c] = l;
                nearest[c] = d;
            }
        }
        std::vector<std::pair<uint32_t, uint32_t>> want, got;
        uint32_t best = MinMatch - 1;
        for (int c = 0; c < PosCodeCount; ++c)
            if (longest[c] > best) {
                best = longest[c];
                want.push_back({longest[c], nearest[c]});
            }
        for (int k = 0; k < n; ++k)
            got.push_back({found[k].Length, found[k].Distance});
        ASSERT_TRUE(got == want) << "at " << pos;
    }
}

// ---------------------------------------------------------------------------
// The encoder through the engine

class LzhPackRoundTrip : public ::testing::Test {
  protected:
    TempDir Dir;
    std::unique_ptr<CExtractorLZH> X{new CExtractorLZH()};

    // One -lh5- member (or stored, when compressed is false) and the end
    // marker, as lzhpack writes them.
    static Bytes Archive(const std::string& name, const Bytes& data, const Bytes& packed,
                         bool compressed) {
        MemberRecord m;
        m.Name = name;
        m.Compressed = compressed;
        m.OriginalSize = static_cast<uint32_t>(data.size());
        m.PackedSize = static_cast<uint32_t>(packed.size());
        m.DataCrc = Crc16(data.data(), data.size());
        m.Creation = m.LastWrite = m.LastAccess = 981475132;
        Bytes out = Level2Header(m);
        out.insert(out.end(), packed.begin(), packed.end());
        out.push_back(0);
        return out;
    }

    // Extracts the archive with the engine; the extracted bytes of the member.
    Bytes Extract(const Bytes& archive, const std::string& name) {
        WriteBytes(Dir.Path("a.lzh"), std::string(archive.begin(), archive.end()));
        bool done = false;
        if (!X->Begin(EnginePath(Dir.Path("a.lzh")).c_str(), EnginePath(Dir.Path("out")).c_str(),
                      nullptr)) {
            ADD_FAILURE() << "Begin failed with " << X->ErrorCode;
            return {};
        }
        while (!done)
            if (!X->Step(done)) {
                ADD_FAILURE() << "Step failed with " << X->ErrorCode;
                return {};
            }
        std::string got = ReadBytes(Dir.Path("out/" + name));
        return Bytes(got.begin(), got.end());
    }

    void ExpectRoundTrip(const Bytes& data, const EncoderOptions& options = EncoderOptions()) {
        Bytes packed = EncodeLH5(data.data(), data.size(), options);
        Bytes got = Extract(Archive("m.bin", data, packed, true), "m.bin");
        ASSERT_EQ(got.size(), data.size());
        EXPECT_TRUE(got == data);
    }
};

TEST_F(LzhPackRoundTrip, TinyInputs) {
    ExpectRoundTrip(Bytes{'a'});
    ExpectRoundTrip(Bytes{'a', 'b'});
    ExpectRoundTrip(Bytes{'a', 'a', 'a'});
    ExpectRoundTrip(Bytes{'x', 'y', 'x', 'y', 'x', 'y', 'x'});
}

TEST_F(LzhPackRoundTrip, RingBoundaries) {
    for (size_t size : {16383u, 16384u, 16385u, 32767u, 32768u, 32769u})
        ExpectRoundTrip(Words(size, static_cast<uint32_t>(size)));
}

TEST_F(LzhPackRoundTrip, MatchesAtTheFarthestReach) {
    Bytes reach = Repeat(Noise(8192, 1), 6);
    Bytes packed = EncodeLH5(reach.data(), reach.size());
    EXPECT_LT(packed.size(), 8192u + 1000u); // the repeats cost almost nothing
    ExpectRoundTrip(reach);
    ExpectRoundTrip(Repeat(Noise(8193, 2), 4)); // out of reach
}

TEST_F(LzhPackRoundTrip, LongRunsAndConstantCodes) {
    // All zeros: after the first symbols every block has one character
    // symbol and one position symbol, both sent as constants.
    Bytes zeros(300000, 0);
    Bytes packed = EncodeLH5(zeros.data(), zeros.size());
    EXPECT_LT(packed.size(), 200u);
    ExpectRoundTrip(zeros);
    ExpectRoundTrip(Repeat(Bytes{'a', 'b', 'c'}, 100000));
}

TEST_F(LzhPackRoundTrip, BlocksBeyondTheSymbolCount) {
    // Random bytes are all literals: more than one block's 65,535 symbols.
    ExpectRoundTrip(Noise(200000, 4));
    ExpectRoundTrip(Noise(150000, 5, 20));
}

TEST_F(LzhPackRoundTrip, PartsJoinAndThreadsDoNotMatter) {
    Bytes data = Words(300000, 6);
    Bytes noise = Noise(70000, 7);
    data.insert(data.end(), noise.begin(), noise.end());
    EncoderOptions parts;
    parts.PartBytes = 1 << 16;
    parts.Threads = 1;
    Bytes one = EncodeLH5(data.data(), data.size(), parts);
    parts.Threads = 3;
    Bytes three = EncodeLH5(data.data(), data.size(), parts);
    EXPECT_TRUE(one == three);
    ExpectRoundTrip(data, parts);
    // Parts cost little: the dictionary carries over.
    Bytes whole = EncodeLH5(data.data(), data.size());
    EXPECT_LT(one.size(), whole.size() + whole.size() / 50);
}

// The input as a stream: parts of 64 KB read in uneven pieces, and a block
// of noise repeated every 5,000 bytes, so that matches cross from each part
// into the bytes that the part before it read.
TEST_F(LzhPackRoundTrip, MatchesReachAcrossPartsReadInPieces) {
    Bytes data = Repeat(Noise(5000, 11), 40);
    EncoderOptions parts;
    parts.PartBytes = 1 << 16;
    size_t at = 0, reads = 0;
    Bytes out;
    LH5Stream stream;
    stream.Read = [&](uint8_t* buffer, size_t n) {
        static const size_t pieces[] = {1, 7777, 65536, 3, 1000};
        n = std::min({n, pieces[reads++ % 5], data.size() - at});
        std::memcpy(buffer, data.data() + at, n);
        at += n;
        return n;
    };
    stream.Write = [&](const uint8_t* bytes, size_t n) {
        out.insert(out.end(), bytes, bytes + n);
        return true;
    };
    LH5StreamResult result = EncodeLH5(stream, parts);
    EXPECT_EQ(result.InputBytes, data.size());
    EXPECT_EQ(result.OutputBytes, out.size());
    EXPECT_FALSE(result.Stopped);
    EXPECT_TRUE(out == EncodeLH5(data.data(), data.size(), parts));
    EXPECT_LT(out.size(), 5000u + 3000u); // the noise once, then matches only
    EXPECT_TRUE(Extract(Archive("s.bin", data, out, true), "s.bin") == data);
}

// Three bytes in turn make matches in every distance class at every
// position: small regions then end where their matches fill the budget, and
// a size known beforehand, which only sizes the arrays, changes nothing.
TEST_F(LzhPackRoundTrip, RegionsEndWhereTheirMatchesFillTheBudget) {
    Bytes data = Noise(60000, 12, 3);
    EncoderOptions small;
    small.RegionBytes = 4096;
    Bytes packed = EncodeLH5(data.data(), data.size(), small);
    small.InputBytes = data.size();
    EXPECT_TRUE(packed == EncodeLH5(data.data(), data.size(), small));
    ExpectRoundTrip(data, small);
    EncoderOptions known;
    known.InputBytes = data.size();
    EXPECT_TRUE(EncodeLH5(data.data(), data.size()) == EncodeLH5(data.data(), data.size(), known));
}

TEST_F(LzhPackRoundTrip, TextShrinks) {
    Bytes text = Words(100000, 8);
    Bytes packed = EncodeLH5(text.data(), text.size());
    EXPECT_LT(packed.size(), text.size() / 3);
    EXPECT_TRUE(packed == EncodeLH5(text.data(), text.size()));
}

// Blocks built by hand, for the code shapes a parse seldom makes: every
// literal with the same length (the pre-code then has one symbol and is sent
// as a constant), and matches of a single distance class.
TEST_F(LzhPackRoundTrip, HandBuiltBlocksWithConstantCodes) {
    Bytes data;
    std::vector<LzSymbol> symbols;
    for (int i = 0; i < 2560; ++i) {
        symbols.push_back({static_cast<uint16_t>(i % 256), 0});
        data.push_back(static_cast<uint8_t>(i % 256));
    }
    CBitWriter out;
    WriteBlock(out, symbols.data(), static_cast<int>(symbols.size()));
    // Second block: one literal, then matches at distance 256 only.
    std::vector<LzSymbol> second;
    second.push_back({7, 0});
    data.push_back(7);
    for (int k = 0; k < 40; ++k) {
        int length = 3 + (k * 37) % 254;
        second.push_back({static_cast<uint16_t>(256 + length - 3), 255});
        for (int j = 0; j < length; ++j)
            data.push_back(data[data.size() - 256]);
    }
    WriteBlock(out, second.data(), static_cast<int>(second.size()));
    out.Flush();
    Bytes got = Extract(Archive("h.bin", data, out.Data(), true), "h.bin");
    EXPECT_TRUE(got == data);
}

// Members packed from files, as lzhpack packs them: the archive holds the
// bytes that the whole file in memory gives. In the default mode a file that
// does not shrink is stored, and that is found while it streams: the noise,
// larger than a part, is the last member, so nothing may follow its data.
TEST_F(LzhPackRoundTrip, PackMemberStreamsFilesAndChoosesTheMethod) {
    const Bytes text = Words(5000, 9), noise = Noise((1 << 20) + 3000, 10), empty;
    const struct {
        PackMode Mode;
        bool TextCompressed, NoiseCompressed;
    } modes[] = {{PackMode::Auto, true, false},
                 {PackMode::ForceLH5, true, true},
                 {PackMode::Store, false, false}};
    for (const auto& row : modes) {
        Bytes want;
        std::string archive = Dir.Path("p.lzh");
        FILE* out = std::fopen(archive.c_str(), "wb");
        ASSERT_TRUE(out != nullptr);
        const Bytes* inputs[] = {&empty, &text, &noise};
        for (const Bytes* data : inputs) {
            bool compressed =
                data == &text ? row.TextCompressed : data == &noise && row.NoiseCompressed;
            Bytes packed = compressed ? EncodeLH5(data->data(), data->size()) : *data;
            Bytes expected = Archive("m", *data, packed, compressed);
            want.insert(want.end(), expected.begin(), expected.end() - 1); // no end marker
            WriteBytes(Dir.Path("m"), std::string(data->begin(), data->end()));
            FILE* in = std::fopen(Dir.Path("m").c_str(), "rb");
            ASSERT_TRUE(in != nullptr);
            MemberRecord m;
            m.Name = "m";
            m.OriginalSize = static_cast<uint32_t>(data->size());
            m.Creation = m.LastWrite = m.LastAccess = 981475132;
            EXPECT_EQ(PackMember(out, in, m, row.Mode), PackResult::Written);
            std::fclose(in);
            EXPECT_EQ(m.Compressed, compressed);
            EXPECT_EQ(m.PackedSize, packed.size());
        }
        std::fclose(out);
        std::string got = ReadBytes(archive);
        EXPECT_TRUE(got == std::string(want.begin(), want.end()))
            << "mode " << static_cast<int>(row.Mode) << ": " << got.size() << " bytes, "
            << want.size() << " expected";
    }
}

TEST_F(LzhPackRoundTrip, PackMemberTellsAFileThatChangedSize) {
    WriteBytes(Dir.Path("m"), "some bytes");
    for (uint32_t size : {9u, 11u})
        for (PackMode mode : {PackMode::Auto, PackMode::Store}) {
            FILE* out = std::fopen(Dir.Path("p.lzh").c_str(), "wb");
            FILE* in = std::fopen(Dir.Path("m").c_str(), "rb");
            ASSERT_TRUE(out && in);
            MemberRecord m{"m", false, size, 0, 0, 0, 0, 0};
            EXPECT_EQ(PackMember(out, in, m, mode), PackResult::SizeChanged) << size;
            std::fclose(in);
            std::fclose(out);
        }
}

// ---------------------------------------------------------------------------
// Headers

TEST(LzhPackHeader, CrcAndFileTimes) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(digits), 9), 0xBB3D);
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("abc"), 3), 0x9738);
    // The payload's read-me: stored time 981,475,132 and its FILETIME.
    EXPECT_EQ(WindowsFileTime(981475132), 0x01C09055B33B4600ull);
    EXPECT_EQ(WindowsFileTime(-11644473600ll), 0u);
}

TEST(LzhPackHeader, ParsesBackWithEveryField) {
    MemberRecord m;
    m.Name = "ReadMe.txt";
    m.Compressed = true;
    m.OriginalSize = 14505;
    m.PackedSize = 5267;
    m.DataCrc = 0x5706;
    m.Creation = 900000000;
    m.LastWrite = 981475132;
    m.LastAccess = 981475132;
    Bytes h = Level2Header(m);
    ASSERT_EQ(h.size(), 71u); // the same layout as the payload's own header
    EXPECT_EQ(h[0] | (h[1] << 8), 71);
    EXPECT_EQ(h[20], 2);
    std::unique_ptr<CExtractorLZH> x(new CExtractorLZH());
    h.resize(h.size() + 512, 0);
    ASSERT_TRUE(x->ParseHeader(h.data(), static_cast<int>(h.size())));
    const MemberHeaderLZH& got = x->GetHeader();
    EXPECT_EQ(got.HeaderSize, 71);
    EXPECT_EQ(got.MethodIndex, 5);
    EXPECT_EQ(got.PackedSize, 5267);
    EXPECT_EQ(got.UnpackedSize, 14505);
    EXPECT_STREQ(got.Name, "ReadMe.txt");
    EXPECT_TRUE(got.HasFileCrc);
    EXPECT_EQ(got.FileCrc, 0x5706);
    // Windows times at offsets 40, 48 and 56: creation, last write, last access.
    uint64_t t[3];
    for (int k = 0; k < 3; ++k) {
        t[k] = 0;
        for (int b = 7; b >= 0; --b)
            t[k] = (t[k] << 8) | h[static_cast<size_t>(40 + 8 * k + b)];
    }
    EXPECT_EQ(t[0], WindowsFileTime(900000000));
    EXPECT_EQ(t[1], 0x01C09055B33B4600ull);
    EXPECT_EQ(t[2], 0x01C09055B33B4600ull);
}

TEST(LzhPackHeader, NoNameLengthGivesASizeThatReadsAsTheEnd) {
    std::unique_ptr<CExtractorLZH> x(new CExtractorLZH());
    int critical = 0;
    for (int n = 1; n <= MaxMemberName; ++n) {
        MemberRecord m{std::string(static_cast<size_t>(n), 'q'), false, 3, 3, 0, 0, 0, 0};
        Bytes h = Level2Header(m);
        if (h.size() == 61u + 7u + static_cast<size_t>(n))
            critical = n;
        ASSERT_NE(h.size() % 256, 0u) << n;
        h.resize(h.size() + 600, 0);
        ASSERT_TRUE(x->ParseHeader(h.data(), static_cast<int>(h.size()))) << n;
        ASSERT_GT(x->GetHeader().HeaderSize, 0) << n;
        ASSERT_EQ(std::string(x->GetHeader().Name), m.Name) << n;
    }
    EXPECT_EQ(critical, 195); // 61 + 195 would be 256
}

} // namespace
