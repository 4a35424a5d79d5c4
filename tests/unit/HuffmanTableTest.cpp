// The canonical-code table on its own: which length lists it accepts, what
// every window decodes to, constant tables, and tables rebuilt in place for
// codes of other sizes. Expected codes come from an independent canonical
// assignment written here, never from the table itself.
#include "FileBuffer.h"
#include "CanonicalCode.h"
#include "HuffmanTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

typedef std::mt19937 Rng;

int Below(Rng& rng, int n) {
    return static_cast<int>(rng() % static_cast<uint32_t>(n));
}

struct Decoded {
    int Symbol;
    int Length;
};

// For every 16-bit window, the symbol whose code begins it, by brute force
// over the codes; length 0 marks a window that no code begins.
std::vector<Decoded> ExpectedWindows(const std::vector<int>& lengths) {
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    std::vector<Decoded> expected(65536, Decoded{-1, 0});
    for (size_t s = 0; s < lengths.size(); ++s) {
        const int len = lengths[s];
        if (len == 0)
            continue;
        const uint32_t first = codes[s] << (16 - len);
        const uint32_t end = (codes[s] + 1) << (16 - len);
        for (uint32_t w = first; w < end; ++w)
            expected[w] = Decoded{static_cast<int>(s), len};
    }
    return expected;
}

Decoded DecodeWindow(const CHuffmanTable& table, unsigned window) {
    Decoded d{-1, -1};
    d.Length = table.Decode(window, d.Symbol);
    return d;
}

// Decodes all 65536 windows and compares them with the brute-force answer;
// stops at the first few mismatches so that a failure stays readable.
void ExpectEveryWindow(const CHuffmanTable& table, const std::vector<int>& lengths,
                       const std::string& what) {
    const std::vector<Decoded> expected = ExpectedWindows(lengths);
    int failures = 0;
    for (unsigned w = 0; w < 65536 && failures < 5; ++w) {
        ASSERT_GT(expected[w].Length, 0) << what << ": the test's code is not complete";
        const Decoded got = DecodeWindow(table, w);
        if (got.Symbol != expected[w].Symbol || got.Length != expected[w].Length) {
            ++failures;
            ADD_FAILURE() << what << ": window 0x" << std::hex << w << std::dec << " gave symbol "
                          << got.Symbol << " length " << got.Length << ", expected "
                          << expected[w].Symbol << " length " << expected[w].Length;
        }
    }
}

void ExpectConstant(const CHuffmanTable& table, int symbol, const std::string& what) {
    int failures = 0;
    for (unsigned w = 0; w < 65536 && failures < 5; ++w) {
        const Decoded got = DecodeWindow(table, w);
        if (got.Symbol != symbol || got.Length != 0) {
            ++failures;
            ADD_FAILURE() << what << ": window 0x" << std::hex << w << std::dec << " gave symbol "
                          << got.Symbol << " length " << got.Length << ", expected " << symbol
                          << " length 0";
        }
    }
}

std::vector<int> Lengths(int count, const std::vector<std::pair<int, int>>& symbolAndLength) {
    std::vector<int> lengths(static_cast<size_t>(count), 0);
    for (const auto& p : symbolAndLength)
        lengths[static_cast<size_t>(p.first)] = p.second;
    return lengths;
}

// Symbol i has length i + 1 for i below 16, and the last one length 16 too:
// a complete code whose last two codes are fifteen 1-bits and a 0 or a 1.
std::vector<int> ChainLengths(int count) {
    std::vector<int> lengths(static_cast<size_t>(count), 0);
    for (int i = 0; i < 16; ++i)
        lengths[static_cast<size_t>(i)] = i + 1;
    lengths[16] = 16;
    return lengths;
}

// A random complete code of `leaves` codes of at most 16 bits, made by
// splitting leaves of a binary tree; `deep` favours splitting the deepest
// leaves, which gives long chains of long codes. The lengths go to random
// symbols; the rest of the symbols get none.
std::vector<int> RandomCompleteLengths(Rng& rng, int count, int leaves, bool deep) {
    std::vector<int> depths(2, 1);
    while (static_cast<int>(depths.size()) < leaves) {
        int pick = Below(rng, static_cast<int>(depths.size()));
        if (deep && Below(rng, 4) != 0)
            pick =
                static_cast<int>(std::max_element(depths.begin(), depths.end()) - depths.begin());
        if (depths[static_cast<size_t>(pick)] >= 16)
            pick =
                static_cast<int>(std::min_element(depths.begin(), depths.end()) - depths.begin());
        ++depths[static_cast<size_t>(pick)];
        depths.push_back(depths[static_cast<size_t>(pick)]);
    }
    std::vector<int> symbols(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        symbols[static_cast<size_t>(i)] = i;
    std::shuffle(symbols.begin(), symbols.end(), rng);
    std::vector<int> lengths(static_cast<size_t>(count), 0);
    for (size_t i = 0; i < depths.size(); ++i)
        lengths[static_cast<size_t>(symbols[i])] = depths[i];
    return lengths;
}

// The code space that a list claims, in units of 2^-16.
long long Claimed(const std::vector<int>& lengths) {
    long long total = 0;
    for (int len : lengths)
        if (len > 0)
            total += 1LL << (16 - len);
    return total;
}

void ExpectThrows(const std::vector<int>& lengths, int bits, const std::string& what) {
    CHuffmanTable table;
    EXPECT_THROW(table.Build(static_cast<int>(lengths.size()), bits, lengths.data()), CExceptionLZH)
        << what << " with " << bits << " table bits";
}

TEST(HuffmanTable, TwoOneBitCodesSplitTheDirectTable) {
    CHuffmanTable table;
    const int lengths[] = {1, 1};
    table.Build(2, 8, lengths);
    EXPECT_EQ(0, DecodeWindow(table, 0x7FFF).Symbol);
    EXPECT_EQ(1, DecodeWindow(table, 0x7FFF).Length);
    EXPECT_EQ(1, DecodeWindow(table, 0x8000).Symbol);
    EXPECT_EQ(1, DecodeWindow(table, 0x8000).Length);
    ExpectEveryWindow(table, {1, 1}, "two 1-bit codes");
}

TEST(HuffmanTable, ListsThatAreNoCompleteCodeThrow) {
    std::vector<int> chainShort = ChainLengths(17);
    chainShort.pop_back(); // 1..16 once each: one 16-bit code short
    std::vector<int> chainOver = ChainLengths(17);
    chainOver.push_back(16); // one 16-bit code too many
    const std::vector<std::pair<std::vector<int>, std::string>> cases = {
        {{1, 0}, "lengths 1 and 0 (half the code space)"},
        {std::vector<int>(19, 0), "all lengths 0"},
        {std::vector<int>(510, 0), "510 lengths of 0"},
        {{1, 1, 1}, "three lengths of 1"},
        {{1, 1, 1, 1}, "four lengths of 1 (twice the code space)"},
        {{2, 2, 2}, "three lengths of 2"},
        {{1, 2, 2, 2}, "one code too many"},
        {chainShort, "lengths 1 to 16, one 16-bit code missing"},
        {chainOver, "lengths 1 to 16, one 16-bit code too many"},
        {std::vector<int>(510, 9), "510 lengths of 9"},
        {{1}, "a single length of 1"},
        {{0, 0, 0, 16}, "a single length of 16"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(65536, Claimed(c.first)) << c.second;
        ExpectThrows(c.first, 8, c.second);
        ExpectThrows(c.first, 12, c.second);
    }
}

TEST(HuffmanTable, LengthsAboveSixteenThrow) {
    for (int big = 17; big <= 23; ++big) {
        const std::string what = "length " + std::to_string(big);
        // Read as big mod 16 (or with 17 taken as 1), {1, 17} would be whole.
        ExpectThrows({1, big}, 8, what + " beside a 1");
        ExpectThrows({1, 1, big}, 8, what + " beside a complete code");
        ExpectThrows({big, 1, 1}, 12, what + " first");
        std::vector<int> chain = ChainLengths(19);
        chain[18] = big;
        ExpectThrows(chain, 8, what + " after a complete chain");
        std::vector<int> wide(510, 0);
        wide[0] = 1;
        wide[1] = 1;
        wide[509] = big;
        ExpectThrows(wide, 12, what + " as the last of 510");
    }
}

TEST(HuffmanTable, ATableThatRefusedAListStillBuildsTheNextOne) {
    CHuffmanTable table;
    const std::vector<int> chain = ChainLengths(19);
    table.Build(19, 8, chain.data());
    const std::vector<int> bad = {1, 1, 1, 0, 17};
    EXPECT_THROW(table.Build(5, 8, bad.data()), CExceptionLZH);
    const std::vector<int> incomplete(19, 0);
    EXPECT_THROW(table.Build(19, 8, incomplete.data()), CExceptionLZH);
    const std::vector<int> next = Lengths(19, {{3, 2}, {7, 2}, {18, 3}, {0, 3}, {1, 3}, {2, 3}});
    ASSERT_EQ(65536, Claimed(next));
    table.Build(19, 8, next.data());
    ExpectEveryWindow(table, next, "after two refused lists");
}

TEST(HuffmanTable, ChainOfLengthsOneToSixteen) {
    const std::vector<int> lengths = ChainLengths(17);
    ASSERT_EQ(65536, Claimed(lengths));
    for (int bits : {8, 12}) {
        CHuffmanTable table;
        table.Build(17, bits, lengths.data());
        const std::string what = "chain, " + std::to_string(bits) + " table bits";
        EXPECT_EQ(16, DecodeWindow(table, 0xFFFF).Symbol) << what;
        EXPECT_EQ(16, DecodeWindow(table, 0xFFFF).Length) << what;
        EXPECT_EQ(15, DecodeWindow(table, 0xFFFE).Symbol) << what;
        EXPECT_EQ(16, DecodeWindow(table, 0xFFFE).Length) << what;
        // Symbol i is i one-bits and a zero, whatever follows.
        for (int i = 0; i < 16; ++i) {
            const unsigned ones = (0xFFFFu << (16 - i)) & 0xFFFF;
            for (unsigned tail : {0x0000u, 0xFFFFu, 0x5555u}) {
                const unsigned window = ones | (tail & (0x7FFFu >> i));
                EXPECT_EQ(i, DecodeWindow(table, window).Symbol) << what << " window " << window;
                EXPECT_EQ(i + 1, DecodeWindow(table, window).Length) << what;
            }
        }
        ExpectEveryWindow(table, lengths, what);
    }
}

// 255 codes of 8 bits and 13 of 12 bits fill all but the last three 12-bit
// prefixes; below those hang one 13-bit, five 14-bit, one 15-bit and
// eighteen 16-bit codes, so that several long codes of different lengths
// share each of the three prefixes. The long codes go to the lowest symbols,
// symbol 0 among them, so that a tree leaf holds symbol 0.
std::vector<int> SharedPrefixLengths() {
    std::vector<int> lengths(510, 0);
    int s = 0;
    lengths[s++] = 13;
    for (int i = 0; i < 5; ++i)
        lengths[s++] = 14;
    lengths[s++] = 15;
    for (int i = 0; i < 18; ++i)
        lengths[s++] = 16;
    for (int i = 0; i < 13; ++i)
        lengths[static_cast<size_t>(500 - 7 * i)] = 12;
    for (int i = 0; i < 255; ++i)
        lengths[static_cast<size_t>(30 + i)] = 8;
    return lengths;
}

TEST(HuffmanTable, LongCodesSharingTwelveBitPrefixes) {
    const std::vector<int> lengths = SharedPrefixLengths();
    ASSERT_EQ(65536, Claimed(lengths));
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    // The three prefixes really are shared by codes of different lengths.
    for (uint32_t prefix : {4093u, 4094u, 4095u}) {
        std::vector<int> below;
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] > 12 && (codes[s] >> (lengths[s] - 12)) == prefix)
                below.push_back(lengths[s]);
        EXPECT_GE(below.size(), 3u) << prefix;
    }

    CHuffmanTable fresh;
    fresh.Build(510, 12, lengths.data());
    ExpectEveryWindow(fresh, lengths, "fresh table");
    EXPECT_EQ(0, DecodeWindow(fresh, codes[0] << 3).Symbol);
    EXPECT_EQ(13, DecodeWindow(fresh, codes[0] << 3).Length);

    // The same table after codes that filled the whole direct table with
    // symbols: the entries past the short codes must be cleared, not taken
    // for tree nodes.
    CHuffmanTable reused;
    const int two[] = {1, 1};
    reused.Build(2, 12, two);
    reused.Build(510, 12, lengths.data());
    ExpectEveryWindow(reused, lengths, "after two 1-bit codes");

    std::vector<int> flat(510, 0);
    for (int i = 0; i < 256; ++i)
        flat[static_cast<size_t>(509 - i)] = 8; // the last entries hold symbol 509
    ASSERT_EQ(65536, Claimed(flat));
    reused.Build(510, 12, flat.data());
    ExpectEveryWindow(reused, flat, "flat code");
    reused.Build(510, 12, lengths.data());
    ExpectEveryWindow(reused, lengths, "after a flat code");

    // And after a code whose tree nodes were numbered differently.
    const std::vector<int> chain = [] {
        std::vector<int> c(510, 0);
        for (int i = 0; i < 16; ++i)
            c[static_cast<size_t>(300 + i)] = i + 1;
        c[400] = 16;
        return c;
    }();
    ASSERT_EQ(65536, Claimed(chain));
    reused.Build(510, 12, chain.data());
    ExpectEveryWindow(reused, chain, "chain among 510");
    reused.Build(510, 12, lengths.data());
    ExpectEveryWindow(reused, lengths, "after a chain");
}

TEST(HuffmanTable, BuildKeepsItsOwnCopyOfTheLengths) {
    std::vector<int> lengths = Lengths(14, {{0, 2}, {5, 2}, {6, 2}, {13, 3}, {9, 3}});
    const std::vector<int> kept = lengths;
    CHuffmanTable table;
    table.Build(14, 8, lengths.data());
    std::fill(lengths.begin(), lengths.end(), 7);
    ExpectEveryWindow(table, kept, "after the caller's list changed");
}

TEST(HuffmanTable, ConstantTableYieldsItsSymbolWithLengthZero) {
    CHuffmanTable table;
    table.BuildConstant(19, 8, 4);
    ExpectConstant(table, 4, "19 symbols, symbol 4");

    // After real codes in which the constant symbol had a length of its own.
    const std::vector<int> chain = ChainLengths(19);
    table.Build(19, 8, chain.data());
    table.BuildConstant(19, 8, 4);
    ExpectConstant(table, 4, "symbol 4 after a chain");
    table.Build(19, 8, chain.data());
    table.BuildConstant(19, 8, 0);
    ExpectConstant(table, 0, "symbol 0 after a chain");
    table.BuildConstant(14, 8, 13);
    ExpectConstant(table, 13, "14 symbols, symbol 13");

    CHuffmanTable wide;
    const std::vector<int> shared = SharedPrefixLengths();
    wide.Build(510, 12, shared.data());
    wide.BuildConstant(510, 12, 509);
    ExpectConstant(wide, 509, "510 symbols, symbol 509");
    wide.Build(510, 12, shared.data());
    wide.BuildConstant(510, 12, 20); // had a 16-bit code
    ExpectConstant(wide, 20, "510 symbols, symbol 20");
}

TEST(HuffmanTable, ConstantSymbolOutsideTheCodeYieldsSymbolZero) {
    // The constants that corrupt data can give: up to 31 for 19 symbols, 15
    // for 14 and 511 for 510. Each table first held a code with long codes,
    // so that its tree nodes and the length of symbol 0 are not zero.
    std::vector<int> chain19 = ChainLengths(19);
    std::reverse(chain19.begin(), chain19.begin() + 17); // symbol 0 gets a 16-bit code
    ASSERT_EQ(65536, Claimed(chain19));
    for (int symbol = 19; symbol <= 31; ++symbol) {
        CHuffmanTable table;
        table.Build(19, 8, chain19.data());
        table.BuildConstant(19, 8, symbol);
        ExpectConstant(table, 0, "19 symbols, constant " + std::to_string(symbol));
    }
    std::vector<int> chain14(14, 0);
    for (int i = 0; i < 13; ++i)
        chain14[static_cast<size_t>(13 - i)] = i + 1;
    chain14[0] = 13;
    ASSERT_EQ(65536, Claimed(chain14));
    for (int symbol = 14; symbol <= 15; ++symbol) {
        CHuffmanTable table;
        table.Build(14, 8, chain14.data());
        table.BuildConstant(14, 8, symbol);
        ExpectConstant(table, 0, "14 symbols, constant " + std::to_string(symbol));
        // The shared table: storage sized for 19 while it serves 14.
        CHuffmanTable shared;
        shared.Build(19, 8, chain19.data());
        shared.BuildConstant(14, 8, symbol);
        ExpectConstant(shared, 0, "14 after 19 symbols, constant " + std::to_string(symbol));
    }
    const std::vector<int> shared = SharedPrefixLengths();
    for (int symbol = 510; symbol <= 511; ++symbol) {
        CHuffmanTable table;
        table.Build(510, 12, shared.data());
        table.BuildConstant(510, 12, symbol);
        ExpectConstant(table, 0, "510 symbols, constant " + std::to_string(symbol));
    }
}

TEST(HuffmanTable, RebuiltForOtherSizesKeepsDecoding) {
    // The shared table of the decoder: 19 symbols, then 14, then 19 again,
    // each time with codes that use tree nodes; then constants in between.
    std::vector<int> chain19 = ChainLengths(19);
    std::vector<int> chain14(14, 0);
    for (int i = 0; i < 13; ++i)
        chain14[static_cast<size_t>(i)] = i + 1;
    chain14[13] = 13;
    std::vector<int> other19 = chain19;
    std::reverse(other19.begin(), other19.end()); // lengths on symbols 2 to 18
    ASSERT_EQ(65536, Claimed(chain14));
    ASSERT_EQ(65536, Claimed(other19));

    CHuffmanTable table;
    table.Build(19, 8, chain19.data());
    ExpectEveryWindow(table, chain19, "19");
    table.Build(14, 8, chain14.data());
    ExpectEveryWindow(table, chain14, "14 after 19");
    table.Build(19, 8, other19.data());
    ExpectEveryWindow(table, other19, "19 after 14");
    table.BuildConstant(14, 8, 3);
    ExpectConstant(table, 3, "constant 14");
    table.Build(19, 8, chain19.data());
    ExpectEveryWindow(table, chain19, "19 after constant 14");

    // Growing in both sizes at once, and narrowing the direct table.
    const std::vector<int> shared = SharedPrefixLengths();
    table.Build(510, 12, shared.data());
    ExpectEveryWindow(table, shared, "510 after 19");
    table.Build(14, 8, chain14.data());
    ExpectEveryWindow(table, chain14, "14 with 8 bits after 510 with 12");
    table.Build(19, 12, other19.data());
    ExpectEveryWindow(table, other19, "19 with 12 bits");
    table.Build(510, 12, shared.data());
    ExpectEveryWindow(table, shared, "510 again");

    // Growing from small to large, never having been large before.
    CHuffmanTable growing;
    growing.Build(14, 8, chain14.data());
    growing.Build(19, 8, other19.data());
    ExpectEveryWindow(growing, other19, "19 after only 14");
    growing.Build(510, 12, shared.data());
    ExpectEveryWindow(growing, shared, "510 after only 14 and 19");
}

TEST(HuffmanTable, RandomCompleteCodesDecodeEverySymbol) {
    Rng rng(20240601);
    const int counts[] = {14, 19, 510};
    for (int bits : {8, 12}) {
        CHuffmanTable table; // reused for every code, as the decoder does
        for (int round = 0; round < 300; ++round) {
            const int count = round % 4 == 3 ? 2 + Below(rng, 509) : counts[round % 3];
            const int leaves = 2 + Below(rng, count - 1);
            const bool deep = Below(rng, 2) == 0;
            const std::vector<int> lengths = RandomCompleteLengths(rng, count, leaves, deep);
            ASSERT_EQ(65536, Claimed(lengths));
            const std::vector<uint32_t> codes = CanonicalCodes(lengths);
            table.Build(count, bits, lengths.data());
            const std::string what = "round " + std::to_string(round) + ", " +
                                     std::to_string(count) + " symbols, " + std::to_string(bits) +
                                     " bits";
            int failures = 0;
            for (int s = 0; s < count && failures < 5; ++s) {
                const int len = lengths[static_cast<size_t>(s)];
                if (len == 0)
                    continue;
                for (int k = 0; k < 4; ++k) {
                    const unsigned trailing = rng() & ((1u << (16 - len)) - 1);
                    unsigned window = (codes[static_cast<size_t>(s)] << (16 - len)) | trailing;
                    if (k == 3)
                        window |= rng() & 0xFFFF0000u; // above the window: not looked at
                    const Decoded got = DecodeWindow(table, window);
                    if (got.Symbol != s || got.Length != len) {
                        ++failures;
                        ADD_FAILURE() << what << ": symbol " << s << " length " << len
                                      << " window 0x" << std::hex << window << std::dec << " gave "
                                      << got.Symbol << " length " << got.Length;
                    }
                }
            }
            if (round % 25 == 0)
                ExpectEveryWindow(table, lengths, what);
        }
    }
}

TEST(HuffmanTable, RandomCodesOneLengthOffThrow) {
    // Making one code longer leaves part of the code space empty; shorter,
    // or giving an unused symbol a code, claims more than all of it.
    Rng rng(77);
    for (int round = 0; round < 200; ++round) {
        const int count = round % 2 ? 510 : 19;
        std::vector<int> lengths =
            RandomCompleteLengths(rng, count, 2 + Below(rng, count - 1), round % 3 == 0);
        std::vector<int> used, unused;
        for (int s = 0; s < count; ++s)
            (lengths[static_cast<size_t>(s)] ? used : unused).push_back(s);
        const int s = used[static_cast<size_t>(Below(rng, static_cast<int>(used.size())))];
        std::vector<int> changed = lengths;
        int& len = changed[static_cast<size_t>(s)];
        switch (Below(rng, unused.empty() ? 3 : 4)) {
        case 0:
            len = 0;
            break;
        case 1:
            len = len < 16 ? len + 1 : len - 1;
            break;
        case 2:
            len = len > 1 ? len - 1 : len + 1;
            break;
        default:
            changed[static_cast<size_t>(unused[0])] = 1 + Below(rng, 16);
            break;
        }
        ASSERT_NE(65536, Claimed(changed));
        ExpectThrows(changed, count == 510 ? 12 : 8, "round " + std::to_string(round));
    }
}

// The direct-table entry that the decoder's common path reads on its own:
// for a code of up to the table's bits, symbol and length in one look-up;
// for a longer one, only the mark that sends the decoder the long way. Long
// chains of codes near 16 bits share their 8- or 12-bit prefixes here.
TEST(HuffmanTable, DirectEntriesGiveSymbolAndLengthOrMarkALongCode) {
    Rng rng(31);
    const int counts[] = {14, 19, 510};
    for (int bits : {8, 12}) {
        CHuffmanTable table;
        for (int round = 0; round < 24; ++round) {
            const int count = counts[round % 3];
            // First chains: lengths 1 to 16 (1 to 13 for 14 symbols), the
            // longest codes there are, all behind one prefix of all ones.
            std::vector<int> lengths;
            if (round >= 3) {
                lengths = RandomCompleteLengths(rng, count, 2 + Below(rng, count - 1), round % 2);
            } else if (count >= 17) {
                lengths = ChainLengths(count);
            } else {
                for (int i = 0; i < count; ++i)
                    lengths.push_back(i < count - 1 ? i + 1 : count - 1);
            }
            table.Build(count, bits, lengths.data());
            const std::vector<Decoded> expected = ExpectedWindows(lengths);
            const std::string what =
                "round " + std::to_string(round) + ", " + std::to_string(bits) + " bits";
            int failures = 0;
            int longOnes = 0;
            for (unsigned w = 0; w < 65536 && failures < 5; ++w) {
                const unsigned entry = table.Entry(w);
                const Decoded& e = expected[w];
                const bool isLong = CHuffmanTable::IsLongCode(entry);
                longOnes += isLong;
                if (e.Length > bits ? !isLong
                                    : isLong || CHuffmanTable::SymbolOf(entry) != e.Symbol ||
                                          CHuffmanTable::LengthOf(entry) != e.Length) {
                    ++failures;
                    ADD_FAILURE() << what << ": window 0x" << std::hex << w << std::dec
                                  << " entry 0x" << std::hex << entry << std::dec
                                  << ", expected symbol " << e.Symbol << " length " << e.Length;
                }
            }
            if (round < 3) {
                // Only the window of all ones in the table's bits leads on.
                EXPECT_EQ(65536 >> bits, longOnes) << what << ": the chain's long codes";
            }
        }
        // A constant table's entries give its symbol with length 0.
        table.BuildConstant(510, bits, 300);
        for (unsigned w = 0; w < 65536; w += 97) {
            const unsigned entry = table.Entry(w);
            ASSERT_FALSE(CHuffmanTable::IsLongCode(entry));
            ASSERT_EQ(300, CHuffmanTable::SymbolOf(entry));
            ASSERT_EQ(0, CHuffmanTable::LengthOf(entry));
        }
    }
}

} // namespace
