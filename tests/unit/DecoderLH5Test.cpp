// -lh5- members decoded through the engine, end to end: block headers and
// their three codes, the LZ77 ring, and compressed data that is short or
// corrupt. The compressed streams are written here bit by bit, and every
// expected output comes from a plain LZ77 expansion of the symbols that were
// written, never from the decoder itself.
#include "ArchiveBuilder.h"
#include "ExtractorLZH.h"
#include "StreamLH5.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Running the engine

struct Outcome {
    bool Began;
    bool Ok;
    int Error;
    int Steps;
};

class DecoderLH5Test : public ::testing::Test {
  protected:
    TempDir Dir;
    std::unique_ptr<CExtractorLZH> X{new CExtractorLZH()};

    std::string Out(const std::string& name = "") {
        return name.empty() ? Dir.Path("out") : Dir.Path("out/" + name);
    }

    // Begin, then Step until done or failed, as the progress dialog does.
    Outcome Extract(const std::string& archiveBytes) {
        WriteBytes(Dir.Path("archive.lzh"), archiveBytes);
        if (!X->Begin(EnginePath(Dir.Path("archive.lzh")).c_str(), EnginePath(Out()).c_str(),
                      nullptr))
            return Outcome{false, false, X->ErrorCode, 0};
        bool done = false;
        int steps = 0;
        while (!done) {
            ++steps;
            if (!X->Step(done))
                return Outcome{true, false, X->ErrorCode, steps};
            if (steps > 10000000)
                return Outcome{true, false, -1, steps};
        }
        return Outcome{true, true, X->ErrorCode, steps};
    }

    // The member's header carries the size and CRC of `expected`; the
    // extraction succeeds and the file holds exactly `expected`.
    void ExpectDecodes(const std::string& packed, const std::string& expected, int steps = -1) {
        const Outcome r = Extract(ArchiveBytes({Packed("m.bin", packed, expected)}));
        ASSERT_TRUE(r.Ok) << "error " << r.Error << " after " << r.Steps << " steps";
        const std::string got = ReadBytes(Out("m.bin"));
        EXPECT_EQ(expected.size(), got.size());
        if (got != expected) {
            size_t i = 0;
            while (i < got.size() && i < expected.size() && got[i] == expected[i])
                ++i;
            ADD_FAILURE() << "output differs from byte " << i << " on";
        }
        if (steps >= 0) {
            EXPECT_EQ(steps, r.Steps) << "one step per symbol";
        }
    }
    void ExpectDecodes(const std::vector<Block>& blocks, Rng* rng = nullptr) {
        const std::vector<Token> tokens = AllTokens(blocks);
        ExpectDecodes(Encode(blocks, rng), Expand(tokens), static_cast<int>(tokens.size()));
    }

    // Corrupt data: the first step (or a later one) fails with ErrBadData,
    // and the member's file is as it was before: absent, or an earlier
    // extraction's, unchanged.
    void ExpectBadData(const std::string& packed, const std::string& what) {
        const bool existed = FileExists(Out("m.bin"));
        const std::string before = existed ? ReadBytes(Out("m.bin")) : std::string();
        const Outcome r = Extract(ArchiveBytes({Packed("m.bin", packed, "0123456789")}));
        EXPECT_TRUE(r.Began) << what;
        EXPECT_FALSE(r.Ok) << what;
        EXPECT_EQ(ErrBadData, r.Error) << what;
        ASSERT_EQ(existed, FileExists(Out("m.bin"))) << what;
        if (existed) {
            EXPECT_EQ(before, ReadBytes(Out("m.bin"))) << what;
        }
        EXPECT_EQ(existed ? 1 : 0, CountEntries(Out())) << what << ": nothing else is left";
    }
};

// ---------------------------------------------------------------------------
// Matches and the ring

TEST_F(DecoderLH5Test, AFirstMatchReachesBackIntoSpaces) {
    // Three constant codes: the whole stream is its header.
    Block b;
    b.Tokens = {Match(3, 0)};
    b.Pre = Constant(0);
    b.Char = Constant(256);
    b.Pos = Constant(0);
    ExpectDecodes(Encode({b}), "   ", 1);

    // Coded: matches from far back, then back into the spaces and the bytes
    // written since.
    ExpectDecodes({OneBlock({Match(200, 8191), Lit('x'), Match(4, 0), Match(3, 5), Lit('y'),
                             Match(256, 210), Match(10, 20)})});
    EXPECT_EQ(std::string(200, ' ') + "xxxxx xxy", ReadBytes(Out("m.bin")).substr(0, 209));
}

TEST_F(DecoderLH5Test, MatchesShorterInDistanceThanInLengthRepeat) {
    ExpectDecodes({OneBlock({Lit('a'), Match(10, 0)})});
    EXPECT_EQ(std::string(11, 'a'), ReadBytes(Out("m.bin")));

    ExpectDecodes({OneBlock({Lit('a'), Lit('b'), Match(6, 1)})});
    EXPECT_EQ("abababab", ReadBytes(Out("m.bin")));

    ExpectDecodes({OneBlock({Lit('a'), Lit('b'), Lit('c'), Match(256, 2), Match(100, 5)})});
    const std::string got = ReadBytes(Out("m.bin"));
    ASSERT_EQ(3u + 256 + 100, got.size());
    for (size_t i = 3; i < got.size(); ++i)
        ASSERT_EQ(got[i - 3], got[i]) << i;
}

TEST_F(DecoderLH5Test, MatchesAcrossTheEndOfTheRing) {
    // A match that starts k bytes before the end of the ring: the first k
    // bytes complete it, the rest goes on from position 0. After it, matches
    // reach back over the wrap.
    Rng rng(5);
    for (int k : {1, 2, 3, 100, 255, 256}) {
        for (int length : {3, 10, 256}) {
            for (int distance : {0, 1, 7, 8191}) {
                SCOPED_TRACE("k " + std::to_string(k) + " length " + std::to_string(length) +
                             " distance " + std::to_string(distance));
                std::vector<Token> tokens = RandomTokens(rng, 16384 - k);
                tokens.push_back(Match(length, distance));
                tokens.push_back(Lit('!'));
                tokens.push_back(Match(20, 40));
                tokens.push_back(Match(5, 0));
                tokens.push_back(Match(30, 8191));
                ExpectDecodes({OneBlock(tokens)}, &rng);
                if (HasFatalFailure())
                    return;
            }
        }
    }
}

TEST_F(DecoderLH5Test, AMatchAtTheLastRingPositionWrapsTwice) {
    // At 16383 with distance 0 and length 256: one byte completes the ring,
    // one is copied from 16383 to 0, and 254 repeat it; the output position
    // is then 255, which the matches after it read back from.
    Rng rng(6);
    std::vector<Token> tokens = RandomTokens(rng, 16382);
    tokens.push_back(Lit('Q'));
    tokens.push_back(Match(256, 0));
    tokens.push_back(Lit('Z'));
    tokens.push_back(Match(10, 256));
    tokens.push_back(Match(40, 300));
    ExpectDecodes({OneBlock(tokens)}, &rng);
    const std::string got = ReadBytes(Out("m.bin"));
    ASSERT_EQ(16383u + 256 + 1 + 10 + 40, got.size());
    EXPECT_EQ(std::string(257, 'Q'), got.substr(16382, 257));
    EXPECT_EQ('Z', got[16639]);
}

TEST_F(DecoderLH5Test, ASourceBeforePositionZeroWrapsToTheEndOfTheRing) {
    // In the first ring that end holds the spaces of a fresh member.
    ExpectDecodes(
        {OneBlock({Lit('a'), Lit('b'), Lit('c'), Lit('d'), Lit('e'), Lit('f'), Match(8, 9)})});
    EXPECT_EQ("abcdef    abcd", ReadBytes(Out("m.bin")));

    // In a later ring it holds the bytes of the ring before.
    Rng rng(7);
    for (int after : {0, 5, 40, 8000}) {
        SCOPED_TRACE(after);
        std::vector<Token> tokens = RandomTokens(rng, 16384 + after);
        tokens.push_back(Match(100, 50));
        tokens.push_back(Match(256, 8191));
        tokens.push_back(Match(3, std::min(after + 356, 8191)));
        ExpectDecodes({OneBlock(tokens)}, &rng);
    }
}

TEST_F(DecoderLH5Test, MembersEndingOnTheRingBoundary) {
    Rng rng(8);
    // Ending with a literal or a match that fills the ring exactly, once or
    // twice, and one byte past it.
    for (int size : {16384, 32768, 16385}) {
        SCOPED_TRACE(size);
        std::vector<Token> tokens = RandomTokens(rng, size - 1);
        tokens.push_back(Lit(0xA5));
        ExpectDecodes({OneBlock(tokens)}, &rng);
        tokens = RandomTokens(rng, size - 200);
        tokens.push_back(Match(200, 333));
        ExpectDecodes({OneBlock(tokens)}, &rng);
    }
}

// The member ends with the symbol that reaches its size, also when more
// symbols follow in its data: nothing after that symbol is decoded.
TEST_F(DecoderLH5Test, TheSymbolThatReachesTheSizeIsTheLast) {
    Rng rng(45);
    std::vector<Token> tokens = RandomTokens(rng, 20000);
    for (int i = 0; i < 40; ++i)
        tokens.push_back(i % 2 ? Lit('z') : Match(10 + i, 99));
    const std::string packed = Encode({OneBlock(tokens)}, &rng);
    std::vector<size_t> producedAfter; // bytes made after each symbol
    size_t produced = 0;
    for (const Token& t : tokens)
        producedAfter.push_back(produced += t.Length > 0 ? static_cast<size_t>(t.Length) : 1);
    const std::string made = Expand(tokens);
    // Sizes that end with a literal, with a match, and inside a match; the
    // last in a ring that the symbol does not complete.
    for (size_t lastSymbol : {tokens.size() - 40, tokens.size() - 39, tokens.size() - 21}) {
        for (size_t less : {size_t{0}, size_t{2}}) {
            const size_t size = producedAfter[lastSymbol] -
                                (less < static_cast<size_t>(tokens[lastSymbol].Length) ? less : 0);
            SCOPED_TRACE(size);
            const Outcome r = Extract(MemberWithSize(Packed("m.bin", packed, made.substr(0, size)),
                                                     static_cast<uint32_t>(size)) +
                                      std::string(1, 0));
            ASSERT_TRUE(r.Ok) << r.Error;
            EXPECT_EQ(static_cast<int>(lastSymbol) + 1, r.Steps);
            EXPECT_EQ(made.substr(0, size), ReadBytes(Out("m.bin")));
        }
    }
}

TEST_F(DecoderLH5Test, EverySymbolAndDistanceBoundary) {
    // All 256 literals and all 254 match lengths, with the distances at both
    // ends of every position symbol's range.
    Rng rng(9);
    std::vector<Token> tokens = RandomTokens(rng, 9000);
    for (int byte = 0; byte < 256; ++byte)
        tokens.push_back(Lit(byte));
    std::vector<int> distances = {0, 1};
    for (int p = 2; p <= 13; ++p) {
        distances.push_back(1 << (p - 1));
        distances.push_back((1 << p) - 1);
    }
    for (int length = 3; length <= 256; ++length)
        tokens.push_back(Match(length, distances[static_cast<size_t>(length) % distances.size()]));
    for (int distance : distances)
        tokens.push_back(Match(3, distance));
    ExpectDecodes({OneBlock(tokens)});
    ExpectDecodes({OneBlock(tokens)}, &rng);
}

// A block whose character code has codes of every length from 1 to 16 and
// whose position code has codes of every length from 1 to 13, the symbols
// drawn evenly among them: codes that the direct tables resolve (12 and 8
// bits) and longer ones that need the tree alternate all the time. The
// shortest code, all zero bits, is the literal 'Q'. The symbols make about
// 45,000 bytes of data.
struct LongAndShortCodes {
    Block B;
    explicit LongAndShortCodes(Rng& rng, int symbols) {
        std::vector<int> charSymbols = {'Q'};
        for (int i = 1; i < 17; ++i)
            charSymbols.push_back(i % 2 ? 253 + 3 * i : 'a' + i);
        std::vector<int> chars(510, 0);
        std::shuffle(charSymbols.begin() + 1, charSymbols.end(), rng);
        for (int i = 0; i < 17; ++i)
            chars[static_cast<size_t>(charSymbols[static_cast<size_t>(i)])] = i < 16 ? i + 1 : 16;
        std::vector<int> positionOrder(14);
        for (int p = 0; p < 14; ++p)
            positionOrder[static_cast<size_t>(p)] = p;
        std::shuffle(positionOrder.begin(), positionOrder.end(), rng);
        std::vector<int> positions(14, 0);
        for (int i = 0; i < 14; ++i)
            positions[static_cast<size_t>(positionOrder[static_cast<size_t>(i)])] =
                i < 13 ? i + 1 : 13;
        for (int i = 0; i < symbols; ++i) {
            const int c = charSymbols[static_cast<size_t>(Below(rng, 17))];
            if (c < 256) {
                B.Tokens.push_back(Lit(c));
                continue;
            }
            const int p = Below(rng, 14);
            const int distance = p < 2 ? p : (1 << (p - 1)) + Below(rng, 1 << (p - 1));
            B.Tokens.push_back(Match(c - 253, distance));
        }
        B.Char = WithLengths(chars);
        B.Pos = WithLengths(positions);
    }
};

TEST_F(DecoderLH5Test, LongCodesBetweenShortOnes) {
    for (uint32_t seed : {41u, 42u, 43u}) {
        SCOPED_TRACE(seed);
        Rng rng(seed);
        ExpectDecodes({LongAndShortCodes(rng, 30000).B}, &rng);
        if (HasFatalFailure())
            return;
    }
}

// Data that end early fail at the same symbol, however far ahead the bits
// were read: a file that ends inside the member's data fails at the symbol
// whose bits reach into the buffer load that comes up short (the input is
// read 16,384 bytes at a time), and codes that run on past the data fail at
// the symbol that consumes the 17th bit past them.
TEST_F(DecoderLH5Test, DataEndingEarlyFailAtTheSymbolThatReachesTheEnd) {
    Rng rng(44);
    Block b = LongAndShortCodes(rng, 30000).B;
    std::vector<long long> ends;
    const std::string packed = Encode({b}, nullptr, &ends);
    const std::string expected = Expand(b.Tokens);
    ASSERT_GT(packed.size(), 3u * CFileBuffer::BufferSize);

    const std::string whole = MemberBytes(Packed("m.bin", packed, expected));
    const size_t dataAt = whole.size() - packed.size();
    for (size_t kept : {size_t{CFileBuffer::BufferSize + 600}, packed.size() - 1}) {
        SCOPED_TRACE(kept);
        // The window needs the first byte of the short load once the bits
        // consumed and the 16 of the window reach past the loads before it.
        const long long loaded =
            static_cast<long long>(kept / CFileBuffer::BufferSize) * CFileBuffer::BufferSize;
        const int failing =
            static_cast<int>(std::upper_bound(ends.begin(), ends.end(), 8 * loaded - 16) -
                             ends.begin()) +
            1;
        const Outcome r = Extract(whole.substr(0, dataAt + kept));
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(ErrBadData, r.Error);
        EXPECT_EQ(failing, r.Steps);
    }

    // The block announces more symbols than it holds; past its data the
    // zero bits decode as 'Q', one bit each, until the slack is used up.
    b.Announced = 65535;
    ends.clear();
    const std::string longer = Encode({b}, nullptr, &ends);
    ASSERT_EQ(packed.size(), longer.size());
    const long long pastSlack =
        8LL * static_cast<long long>(longer.size()) + CFileBuffer::SlackBitsPastData + 1;
    const int qs = static_cast<int>(pastSlack - ends.back());
    const std::string more = expected + std::string(static_cast<size_t>(qs) + 100, 'Q');
    const Outcome r =
        Extract(MemberWithSize(Packed("m.bin", longer, more), static_cast<uint32_t>(more.size())) +
                std::string(1, 0));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(ErrBadData, r.Error);
    EXPECT_EQ(static_cast<int>(b.Tokens.size()) + qs, r.Steps);

    // Given all of it, the member decodes.
    ExpectDecodes(packed, expected, static_cast<int>(b.Tokens.size()));
}

// ---------------------------------------------------------------------------
// Blocks

TEST_F(DecoderLH5Test, ABlockThatAnnouncesNoSymbolsServesOne) {
    // Constant codes: announced 0 → 'x'; 2 → 'y' 'y'; 0 → a match of 4;
    // then a coded block. Each block's symbol comes from its own header.
    std::vector<Block> blocks(4);
    blocks[0].Tokens = {Lit('x')};
    blocks[0].Announced = 0;
    blocks[0].Pre = Constant(5);
    blocks[0].Char = Constant('x');
    blocks[0].Pos = Constant(3);
    blocks[1].Tokens = {Lit('y'), Lit('y')};
    blocks[1].Pre = Constant(0);
    blocks[1].Char = Constant('y');
    blocks[1].Pos = Constant(0);
    blocks[2].Tokens = {Match(4, 2)};
    blocks[2].Announced = 0;
    blocks[2].Pre = Constant(0);
    blocks[2].Char = Constant(257);
    blocks[2].Pos = Constant(2); // one extra bit: distance 2
    blocks[3].Tokens = {Lit('z'), Match(3, 2), Lit('w')};
    ExpectDecodes(blocks);
    EXPECT_EQ("xyyxyyxzyxzw", ReadBytes(Out("m.bin")));

    // A coded block that announces 0 symbols, and another after it.
    blocks.assign(3, Block());
    blocks[0].Tokens = {Lit('p')};
    blocks[0].Announced = 0;
    blocks[1].Tokens = {Lit('q')};
    blocks[1].Announced = 0;
    blocks[2].Tokens = {Lit('r'), Lit('s')};
    ExpectDecodes(blocks);
    EXPECT_EQ("pqrs", ReadBytes(Out("m.bin")));
}

TEST_F(DecoderLH5Test, BlocksWithDifferentCodesFollowWithoutAlignment) {
    // Each block changes all three codes; none of them ends on a byte.
    std::vector<Block> blocks(3);
    blocks[0].Tokens = {Lit('a'), Lit('b'), Lit('a'), Match(3, 1)};
    blocks[1].Tokens = {Lit(0), Lit(255), Match(256, 5), Match(17, 100)};
    blocks[2].Tokens = {Lit('a'), Match(3, 4000), Lit('c'), Lit('a'), Lit('b')};
    ExpectDecodes(blocks);
    Rng rng(10);
    ExpectDecodes(blocks, &rng);
}

TEST_F(DecoderLH5Test, PreCodeCountOfThreeHasNoZeroRunField) {
    // Three pre-code lengths (1, 2, 2) and then straight away the character
    // count: a constant 'A'. Reading two more bits after the third length
    // would shift every field after it.
    Block b;
    b.Tokens = {Lit('A'), Lit('A'), Lit('A')};
    b.Pre = WithLengths({1, 2, 2});
    b.Char = Constant('A');
    b.Pos = Constant(0);
    ExpectDecodes(Encode({b}), "AAA", 3);

    // A run of 3 from a count of 4 carries the index past the count.
    b.Pre.Count = 4;
    b.Pre.Run = 3;
    ExpectDecodes(Encode({b}), "AAA", 3);
}

TEST_F(DecoderLH5Test, PreCodeZeroRunFieldComesAfterTheThirdLength) {
    // Run 0: entry 3 is read normally (t = 3: character lengths of 1).
    // Runs 1, 2, 3 skip to entries 4, 5, 6 (lengths of 2, 3, 4). Entries 0
    // to 2 code the zero runs before the letters.
    for (int run = 0; run <= 3; ++run) {
        SCOPED_TRACE(run);
        const int t = 3 + run;
        const int length = t - 2;
        std::vector<int> pre(19, 0);
        pre[0] = 2;
        pre[1] = 2;
        pre[2] = 2;
        pre[static_cast<size_t>(t)] = 2;
        std::vector<int> chars(510, 0);
        Block b;
        for (int i = 0; i < (1 << length); ++i) {
            chars[static_cast<size_t>('a' + 2 * i)] = length; // zero runs of 1 between
            b.Tokens.push_back(Lit('a' + 2 * i));
        }
        b.Tokens.push_back(Lit('a'));
        b.Pre = WithLengths(pre);
        b.Pre.Run = run;
        b.Char = WithLengths(chars);
        b.Pos = Constant(0);
        ExpectDecodes({b});
    }
}

TEST_F(DecoderLH5Test, ConstantPreCodeGivesEveryListedLengthItsValue) {
    // Pre-code constant 10 (length 8) for 256 entries: every literal gets an
    // 8-bit code, the byte itself, and no bits are spent on the lengths.
    std::vector<int> chars(510, 0);
    std::fill(chars.begin(), chars.begin() + 256, 8);
    Block b;
    b.Tokens = {Lit('h'), Lit('i'), Lit(0), Lit(255), Lit('!')};
    b.Pre = Constant(10);
    b.Char = WithLengths(chars);
    b.Pos = Constant(0);
    ExpectDecodes(Encode({b}), std::string("hi\0\xFF!", 5), 5);

    // A constant pre-code symbol outside the code yields symbol 0, a single
    // zero length, for every entry: no character code at all.
    BitWriter bw;
    bw.Put(1, 16);
    bw.Put(0, 5);
    bw.Put(25, 5);
    bw.Put(5, 9);
    bw.Put(0, 4);
    bw.Put(0, 4);
    bw.Put(0, 8);
    ExpectBadData(bw.Data(), "constant pre-code 25");
}

TEST_F(DecoderLH5Test, ConstantSymbolsOutsideTheirCodesDecodeAsSymbolZero) {
    // Character constant 510 or 511: literal 0. Position constant 14 or 15:
    // distance 0, with no extra bits. (The pre-code's case is with the
    // pre-code tests.)
    for (int c : {510, 511}) {
        BitWriter bw;
        bw.Put(2, 16);
        bw.Put(0, 5);
        bw.Put(0, 5);
        bw.Put(0, 9);
        bw.Put(static_cast<uint32_t>(c), 9);
        bw.Put(0, 4);
        bw.Put(0, 4);
        bw.Put(0xFFFF, 16); // the stream goes on with one-bits
        ExpectDecodes(bw.Data(), std::string(2, '\0'), 2);
    }
    for (int p : {14, 15}) {
        // Three blocks of one symbol each: 'a', a match of 5, 'b'.
        const int symbols[] = {'a', 258, 'b'};
        BitWriter bw;
        for (int symbol : symbols) {
            bw.Put(1, 16);
            bw.Put(0, 5);
            bw.Put(0, 5);
            bw.Put(0, 9);
            bw.Put(static_cast<uint32_t>(symbol), 9);
            bw.Put(0, 4);
            bw.Put(static_cast<uint32_t>(symbol == 258 ? p : 0), 4);
        }
        bw.Put(0xFFFF, 16);
        ExpectDecodes(bw.Data(), "aaaaaab", 3);
    }
}

TEST_F(DecoderLH5Test, LargestCountsAreAccepted) {
    // A pre-code of 19 lengths up to 16, a character code of 510 entries
    // whose last is used (a match of 256), a position code of 14 entries
    // whose last is used (distance 8191).
    std::vector<int> pre(19, 0);
    for (int i = 0; i < 11; ++i)
        pre[static_cast<size_t>(i)] = i + 1;
    const int tail[] = {13, 13, 14, 14, 14, 15, 16, 16};
    for (int i = 0; i < 8; ++i)
        pre[static_cast<size_t>(11 + i)] = tail[i];
    std::vector<int> pos(14, 0);
    for (int i = 0; i < 12; ++i)
        pos[static_cast<size_t>(13 - i)] = i + 1;
    pos[0] = 13;
    pos[1] = 13;

    Rng rng(11);
    std::vector<Token> tokens = RandomTokens(rng, 8200);
    tokens.push_back(Match(256, 8191));
    tokens.push_back(Match(256, 4096));
    tokens.push_back(Match(255, 0));
    std::set<int> used;
    for (const Token& t : tokens)
        used.insert(CharSymbol(t));
    Block b;
    b.Tokens = tokens;
    b.Pre = WithLengths(pre);
    b.Pos = WithLengths(pos);
    b.Char = WithLengths(MakeLengths(used, 510, &rng));
    b.Char.Count = 510;
    ASSERT_NE(0, b.Char.Lengths[509]);
    ExpectDecodes({b});
}

TEST_F(DecoderLH5Test, CountsAboveTheLimitsAreBadData) {
    // Each count is followed by lengths that would form a complete code and
    // by fields that would decode, so that only the count itself is wrong.
    // (Decoded, the member would fail its CRC instead.)
    for (int n : {20, 31}) {
        // 1 to 11, then 12-bit codes... : n lengths whose code space adds up.
        std::vector<int> pre;
        const int chain = n == 20 ? 12 : 11;
        for (int i = 1; i <= chain; ++i)
            pre.push_back(i);
        if (n == 20) {
            pre.insert(pre.end(), 8, 15);
        } else {
            pre.insert(pre.end(), 12, 15);
            pre.insert(pre.end(), 8, 16);
        }
        ASSERT_EQ(static_cast<size_t>(n), pre.size());
        CodeForm form = WithLengths(pre);
        form.Count = n;
        BitWriter bw;
        bw.Put(10, 16);
        PutPreCode(bw, form, pre);
        bw.Put(0, 9);
        bw.Put('a', 9);
        bw.Put(0, 4);
        bw.Put(0, 4);
        ExpectBadData(bw.Data(), "pre-code count " + std::to_string(n));
    }
    {
        // 'a' and 'b' of length 1 and zeros up to entry 510.
        std::vector<int> pre(19, 0);
        std::fill(pre.begin(), pre.begin() + 4, 2);
        const std::vector<Item> items = {{2, 97 - 20}, {3, 0}, {3, 0}, {2, 412 - 20}};
        BitWriter bw;
        bw.Put(10, 16);
        PutPreCode(bw, WithLengths(pre), pre);
        bw.Put(511, 9);
        PutItems(bw, WithLengths(pre), pre, items);
        bw.Put(0, 4);
        bw.Put(0, 4);
        bw.Put(0, 16);
        ExpectBadData(bw.Data(), "character count 511");
    }
    {
        BitWriter bw;
        bw.Put(10, 16);
        bw.Put(0, 5);
        bw.Put(0, 5);
        bw.Put(0, 9);
        bw.Put(256, 9);
        bw.Put(15, 4);
        for (int i = 1; i <= 14; ++i)
            PutCodeLength(bw, i);
        PutCodeLength(bw, 14);
        bw.Put(0, 32);
        ExpectBadData(bw.Data(), "position count 15");
    }
}

TEST_F(DecoderLH5Test, CodeLengthsAboveSixteenAreBadData) {
    for (int big = 17; big <= 23; ++big) {
        // In the pre-code, beside a 1: taken as 1 (mod 16) it would be whole.
        {
            BitWriter bw;
            bw.Put(10, 16);
            bw.Put(2, 5);
            PutCodeLength(bw, 1);
            PutCodeLength(bw, big);
            bw.Put(0, 9);
            bw.Put('a', 9);
            bw.Put(0, 4);
            bw.Put(0, 4);
            bw.Put(0, 16);
            ExpectBadData(bw.Data(), "pre-code length " + std::to_string(big));
        }
        // In the position code.
        {
            BitWriter bw;
            bw.Put(10, 16);
            bw.Put(0, 5);
            bw.Put(0, 5);
            bw.Put(0, 9);
            bw.Put(256, 9);
            bw.Put(2, 4);
            PutCodeLength(bw, big);
            PutCodeLength(bw, 1);
            bw.Put(0, 16);
            ExpectBadData(bw.Data(), "position length " + std::to_string(big));
        }
    }
    // 16 is the longest length that a code may have; the chain 1..13,13
    // gives the position code its longest codes.
    std::vector<int> pos(14, 0);
    for (int i = 0; i < 13; ++i)
        pos[static_cast<size_t>(i)] = i + 1;
    pos[13] = 13;
    Block b;
    b.Tokens = {Lit('a'), Match(3, 4096), Match(4, 8191), Match(5, 2048), Match(6, 0)};
    b.Pos = WithLengths(pos);
    ExpectDecodes({b});
}

TEST_F(DecoderLH5Test, AZeroRunPastTheLastEntryIsClipped) {
    // 'a' and 'b' get 1-bit codes; the list then ends with a zero run that
    // reaches past entry 509. The run is clipped at the end of the list and
    // the fields after it are read from the very next bit.
    struct Case {
        int Count;
        int T;     // the run's pre-code symbol: 1 or 2
        int Start; // where the run begins
        int Extra;
    };
    const Case cases[] = {
        // 531 zeros from 490; 20 from 499; 18 from 505, with the count at
        // the end of the list or just after the run's start.
        {500, 2, 490, 511},
        {510, 2, 499, 0},
        {510, 1, 505, 15},
        {506, 1, 505, 15},
        // Past the count and the list; past the count only.
        {100, 2, 99, 511},
        {100, 1, 99, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Start);
        std::vector<Item> items = {{2, 97 - 20}, {3, 0}, {3, 0}};
        int i = 99;
        while (i < c.Start) {
            const int k = std::min(531, c.Start - i);
            if (k >= 20)
                items.push_back(Item{2, k - 20});
            else
                items.push_back(Item{0, 0});
            i += k >= 20 ? k : 1;
        }
        items.push_back(Item{c.T, c.Extra});
        std::vector<int> pre(19, 0);
        pre[0] = 2;
        pre[1] = 2;
        pre[2] = 2;
        pre[3] = 2;
        CodeForm preForm = WithLengths(pre);
        BitWriter bw;
        bw.Put(4, 16);
        PutPreCode(bw, preForm, pre);
        bw.Put(static_cast<uint32_t>(c.Count), 9);
        PutItems(bw, preForm, pre, items);
        PutPositionCode(bw, Constant(9), {});
        // 'a' is code 0, 'b' code 1.
        bw.Put(0b0110, 4);
        ExpectDecodes(bw.Data(), "abba", 4);
        if (HasFatalFailure())
            return;
    }
}

// ---------------------------------------------------------------------------
// Sizes and the end of the data

// The data may end a little before the codes do: the window looks ahead
// into zero bits, and up to 16 of them may be consumed. A member whose codes
// go on further is cut short, whatever size it declares.
TEST_F(DecoderLH5Test, CodesRunningPastTheDataAreBadDataBeyondTheSlack) {
    // A block that announces 40 symbols but holds 3: the others decode from
    // zero bits to 'Q', whose code is the single bit 0. The encoder pads the
    // last byte; with it, the 'Q's that fit into the 16 slack bits decode,
    // the next one is bad data.
    std::vector<int> chars(510, 0);
    chars['Q'] = 1;
    chars['a'] = 2;
    chars['b'] = 2;
    Block b;
    b.Tokens = {Lit('a'), Lit('b'), Lit('a')};
    b.Announced = 40;
    b.Char = WithLengths(chars);
    b.Pos = Constant(0);
    const std::string packed = Encode({b});
    const std::string full = Encode({b}) + std::string(1, 0); // one byte more of zero bits
    // How many pad bits the last byte holds: the 'Q's decode from those too.
    std::vector<Block> padded = {b};
    padded[0].Tokens.push_back(Lit('Q'));
    int pad = 0;
    while (Encode({padded[0]}).size() == packed.size()) {
        ++pad;
        padded[0].Tokens.push_back(Lit('Q'));
    }
    const int qs = pad + CFileBuffer::SlackBitsPastData;
    ASSERT_LT(qs + 1, 40 - 3) << "the test's block announces too few symbols";
    ExpectDecodes(packed, "aba" + std::string(static_cast<size_t>(qs), 'Q'), 3 + qs);
    const Outcome cut = Extract(ArchiveBytes(
        {Packed("cut.bin", packed, "aba" + std::string(static_cast<size_t>(qs + 1), 'Q'))}));
    EXPECT_FALSE(cut.Ok);
    EXPECT_EQ(ErrBadData, cut.Error);
    EXPECT_EQ(4 + qs, cut.Steps);
    EXPECT_FALSE(FileExists(Out("cut.bin")));
    // Given its data, the same member of that size decodes.
    ExpectDecodes(full, "aba" + std::string(static_cast<size_t>(qs + 1), 'Q'), 4 + qs);

    // A member that declares 2 GiB - 1 bytes and holds no data at all fails
    // in its first step: the first block header alone is 52 bits.
    const Outcome r =
        Extract(MemberWithSize(Packed("m.bin", std::string(), std::string()), 0x7FFFFFFF) +
                std::string(1, 0));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(ErrBadData, r.Error);
    EXPECT_EQ(1, r.Steps);
}

// Sizes are trusted: symbols of constant codes take no bits at all, so a
// handful of header bytes may rightly stand for megabytes of output.
TEST_F(DecoderLH5Test, ZeroBitSymbolsAreNoShortage) {
    std::vector<Block> blocks(3);
    for (Block& b : blocks) {
        b.Tokens.assign(4000, Match(256, 0));
        b.Pre = Constant(0);
        b.Char = Constant(256 + 253);
        b.Pos = Constant(0);
    }
    const std::string packed = Encode(blocks);
    ASSERT_LT(packed.size(), 30u);
    ExpectDecodes(packed, std::string(3 * 4000 * 256, ' '), 3 * 4000);
}

// An empty member makes an empty file; whatever its data hold is not read.
TEST_F(DecoderLH5Test, AnEmptyMemberIsAnEmptyFile) {
    Block b;
    b.Tokens = {Lit('z'), Lit('y')};
    Outcome r = Extract(ArchiveBytes({Packed("m.bin", Encode({b}), "")}));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(1, r.Steps);
    EXPECT_EQ("", ReadBytes(Out("m.bin")));

    // No data, or data that are no valid block, make no difference.
    for (const std::string& packed : {std::string(), std::string("\xFF\xFF\xFF\xFF", 4)}) {
        r = Extract(ArchiveBytes({Packed("e.bin", packed, "")}));
        ASSERT_TRUE(r.Ok) << r.Error;
        EXPECT_EQ("", ReadBytes(Out("e.bin")));
    }

    // The CRC is still checked: that of "z" is not the CRC of no data.
    ASSERT_NE(Crc16(""), Crc16("z"));
    r = Extract(MemberWithSize(Packed("z.bin", Encode({b}), "z"), 0) + std::string(1, 0));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(ErrCrc, r.Error);
    EXPECT_FALSE(FileExists(Out("z.bin")));
}

// The last match may run past the member's size; the file ends at the size,
// and the CRC is that of the declared bytes.
TEST_F(DecoderLH5Test, AMatchPastTheSizeIsCutThere) {
    // 'a', 'b', then a match of 10 from two bytes back, each symbol a block
    // of constant codes, in a member of 7 bytes: "abababa".
    std::vector<Block> blocks(3);
    blocks[0].Tokens = {Lit('a')};
    blocks[0].Char = Constant('a');
    blocks[1].Tokens = {Lit('b')};
    blocks[1].Char = Constant('b');
    blocks[2].Tokens = {Match(10, 1)};
    blocks[2].Char = Constant(253 + 10);
    for (Block& b : blocks) {
        b.Pre = Constant(0);
        b.Pos = Constant(1);
    }
    ExpectDecodes(Encode(blocks), "abababa", 3);
    // With the CRC of all 12 bytes the match makes, the member fails.
    const Outcome r = Extract(MemberWithSize(Packed("m.bin", Encode(blocks), "abababababab"), 7) +
                              std::string(1, 0));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(ErrCrc, r.Error);

    // Past a full ring: 16384 + 100 bytes made for a size of 16300.
    Rng rng(12);
    std::vector<Token> tokens = RandomTokens(rng, 16228);
    tokens.push_back(Match(256, 1000));
    std::string made = Expand(tokens);
    ASSERT_EQ(16484u, made.size());
    ExpectDecodes(Encode({OneBlock(tokens)}, &rng), made.substr(0, 16300));

    // A match that completes the ring and runs past the size before the ring
    // is full: the ring is written only up to the size.
    for (int over : {1, 2, 9}) {
        SCOPED_TRACE(over);
        tokens = RandomTokens(rng, 16384 - 10 + over);
        tokens.push_back(Match(10, 3));
        made = Expand(tokens);
        ASSERT_EQ(16384u + static_cast<size_t>(over), made.size());
        ExpectDecodes(Encode({OneBlock(tokens)}, &rng), made.substr(0, 16382));
    }
}

TEST_F(DecoderLH5Test, AnArchiveThatEndsInsideTheDataIsBadData) {
    // Cut within the first buffer load, and (over 16384 bytes of data) after
    // many symbols have been decoded; in both cases nothing is left.
    Rng rng(13);
    std::vector<Token> tokens;
    for (int i = 0; i < 24000; ++i)
        tokens.push_back(Lit(Below(rng, 256)));
    Block b = OneBlock(tokens);
    const std::string packed = Encode({b});
    ASSERT_GT(packed.size(), 20000u);
    const std::string expected = Expand(tokens);
    const std::string whole = MemberBytes(Packed("m.bin", packed, expected));

    for (size_t cut : {whole.size() - packed.size() + 10, whole.size() - 3000, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const Outcome r = Extract(whole.substr(0, cut));
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(ErrBadData, r.Error);
        EXPECT_FALSE(FileExists(Out("m.bin")));
        if (cut > whole.size() - packed.size() + 16384) {
            EXPECT_GT(r.Steps, 10000) << "the first 16384 bytes decode before the cut is found";
        }
    }

    // The whole member, for comparison, decodes.
    ExpectDecodes(packed, expected, 24000);

    // A member completed before the cut one stays.
    // A member completed before the cut one stays, and so does the file
    // that the cut one would have replaced.
    const std::string good = MemberBytes(Packed("good", Encode({OneBlock({Lit('g')})}), "g"));
    const Outcome r = Extract(good + whole.substr(0, whole.size() - 3000));
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(ErrBadData, r.Error);
    EXPECT_EQ("g", ReadBytes(Out("good")));
    EXPECT_EQ(expected, ReadBytes(Out("m.bin")));
    EXPECT_EQ(2, CountEntries(Out()));
}

// A member whose header starts below 2 GiB may have its data beyond: its
// header is found by skipping a stored member as large as the file, its data
// start 20 bytes below 2 GiB, or its header straddles 2 GiB.
TEST_F(DecoderLH5Test, DataAcrossTwoGiB) {
    Rng rng(14);
    const std::vector<Token> tokens = RandomTokens(rng, 3000);
    const std::string expected = Expand(tokens);
    const TestMember member = Packed("far.bin", Encode({OneBlock(tokens)}, &rng), expected);
    const std::string memberHeader = MemberHeaderBytes(member);
    const long long twoGiB = 1LL << 31;
    for (long long memberAt :
         {twoGiB - 20 - static_cast<long long>(memberHeader.size()), twoGiB - 10}) {
        SCOPED_TRACE(memberAt);
        TestMember filler;
        filler.Name = "filler";
        std::string header = MemberHeaderBytes(filler);
        const uint32_t size =
            static_cast<uint32_t>(memberAt - static_cast<long long>(header.size()));
        for (int i = 0; i < 4; ++i) {
            header[static_cast<size_t>(7 + i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
            header[static_cast<size_t>(11 + i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
        }
        ResealLevel2(header);
        const std::string tail = memberHeader + member.Packed + std::string(1, 0);
        WriteSparse(Dir.Path("huge.lzh"), memberAt + static_cast<long long>(tail.size()),
                    {{0, header}, {memberAt, tail}});
        ASSERT_TRUE(X->Begin(EnginePath(Dir.Path("huge.lzh")).c_str(), EnginePath(Out()).c_str(),
                             "far.bin"))
            << X->ErrorCode;
        bool done = false;
        while (!done)
            ASSERT_TRUE(X->Step(done)) << X->ErrorCode;
        EXPECT_EQ(expected, ReadBytes(Out("far.bin")));
    }
}

TEST_F(DecoderLH5Test, EachMemberStartsWithAFreshRingAndBlock) {
    // The first member fills the whole ring with 'x' and stops one byte
    // into the next ring, in the middle of a block that announced more
    // symbols. The second starts with its own header at position 0, and its
    // first match reaches back into spaces, not into 'x'.
    std::vector<Token> xs = {Lit('x')};
    for (int i = 0; i < 64; ++i)
        xs.push_back(Match(256, 0));
    Block first = OneBlock(xs);
    first.Announced = 1000;
    const std::string one = Expand(first.Tokens);
    ASSERT_EQ(std::string(16385, 'x'), one);
    Block second = OneBlock({Match(10, 5), Lit('k')});
    const std::string two = Expand(second.Tokens);
    ASSERT_EQ(std::string(10, ' ') + "k", two);
    TestMember a = Packed("one", Encode({first}), one);
    TestMember c = Packed("three", Encode({second}), two);
    TestMember stored;
    stored.Name = "two";
    stored.Data = "stored in between";
    const Outcome r = Extract(ArchiveBytes({a, stored, c, a, c}));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(one, ReadBytes(Out("one")));
    EXPECT_EQ("stored in between", ReadBytes(Out("two")));
    EXPECT_EQ(two, ReadBytes(Out("three")));
}

TEST_F(DecoderLH5Test, RandomStreamsMatchAReferenceExpansion) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        Rng rng(seed);
        const std::vector<Block> blocks = RandomBlocks(rng);
        ExpectDecodes(blocks, &rng);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
