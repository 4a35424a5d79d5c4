// The bit input: most significant bit first, bounded by the member's data,
// zero bits past its end, and an early end of the file reported as bad data.
#include "FileBuffer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

class BitInputTest : public ::testing::Test {
  protected:
    TempDir Dir;
    CFileBuffer In;

    void Open(const std::string& bytes) {
        WriteBytes(Dir.Path("bits"), bytes);
        ASSERT_TRUE(In.OpenRead(EnginePath(Dir.Path("bits")).c_str()));
    }
    void TearDown() override { In.Close(); }
};

// The bits of `data` from bit `at` on, 16 of them, first bit most
// significant; zero bits past the end.
unsigned ReferenceWindow(const std::string& data, long long at) {
    unsigned w = 0;
    for (int i = 0; i < 16; ++i) {
        const long long bit = at + i;
        const long long byte = bit / 8;
        unsigned b = 0;
        if (byte < static_cast<long long>(data.size()))
            b = (static_cast<unsigned char>(data[static_cast<size_t>(byte)]) >> (7 - bit % 8)) & 1;
        w = (w << 1) | b;
    }
    return w;
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
    std::string s(n, 0);
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

TEST_F(BitInputTest, ReadsMostSignificantBitFirst) {
    Open("\xA5\xFF\x12\x34");
    In.SetMemberData(0, 4);
    In.FillBits(16);
    EXPECT_EQ(0xA5FFu, In.PeekBits());
    EXPECT_EQ(5u, In.GetBits(3));
    EXPECT_EQ(5u, In.GetBits(5));
    EXPECT_EQ(1u, In.GetBits(1));
    EXPECT_EQ(0xFE24u, In.GetBits(16)); // seven bits of 0xFF, 0x12, one bit of 0x34
    EXPECT_EQ(0x6800u, In.PeekBits());  // the rest of 0x34, then zero bits
}

// Past the data, zero bits fill the window for the look-ahead; consuming
// them is allowed up to the slack, and one bit more is data cut short.
TEST_F(BitInputTest, ZeroBitsPastTheDataUpToTheSlack) {
    static_assert(CFileBuffer::SlackBitsPastData == 16, "the steps below consume 16 bits");
    Open("\xFF\xFF\xFF\xFF");
    In.SetMemberData(2, 0);
    In.FillBits(16);
    EXPECT_EQ(0u, In.PeekBits());
    EXPECT_EQ(0u, In.GetBits(9));
    EXPECT_EQ(0u, In.GetBits(7));
    EXPECT_EQ(0u, In.PeekBits());
    EXPECT_THROW(In.GetBits(1), CExceptionLZH);

    // The slack counts from the last bit of the data, whatever the bit
    // position within a byte.
    In.Close();
    Open("\xFF\xFF\xFF\xFF");
    In.SetMemberData(1, 1);
    In.FillBits(16);
    EXPECT_EQ(0x7u, In.GetBits(3));
    EXPECT_EQ(0x1Fu, In.GetBits(5));
    EXPECT_EQ(0u, In.GetBits(16));
    EXPECT_THROW(In.FillBits(1), CExceptionLZH);

    // A fresh member starts with no bits past its data.
    In.SetMemberData(0, 2);
    In.FillBits(16);
    EXPECT_EQ(0xFFFFu, In.GetBits(16));
    EXPECT_EQ(0u, In.GetBits(16));
}

TEST_F(BitInputTest, StopsAtTheEndOfTheMemberData) {
    // 20,000 bytes of member data between other bytes: two buffer loads, and
    // the bytes behind the member never show.
    std::string data;
    for (int i = 0; i < 20000; ++i)
        data += static_cast<char>((i * 131) ^ (i >> 5));
    Open(std::string(100, '\xEE') + data + std::string(100, '\xFF'));
    In.SetMemberData(100, 20000);
    In.FillBits(16);
    for (int i = 0; i < 20000; i += 2) {
        const unsigned expected =
            (static_cast<unsigned char>(data[i]) << 8) | static_cast<unsigned char>(data[i + 1]);
        ASSERT_EQ(expected, In.GetBits(16)) << "at byte " << i;
    }
    EXPECT_EQ(0u, In.GetBits(16));
    EXPECT_EQ(0u, In.PeekBits());
}

TEST_F(BitInputTest, AFileEndingInsideTheMemberIsBadData) {
    Open(std::string(1000, 'q'));
    In.SetMemberData(10, 5000);
    EXPECT_THROW(
        {
            In.FillBits(16);
            for (int i = 0; i < 5000; ++i)
                In.GetBits(8);
        },
        CExceptionLZH);
}

TEST_F(BitInputTest, ConsumesSeventeenBitsAtOnce) {
    Open(std::string("\xFF\xFF\x80\x00\x00", 5));
    In.SetMemberData(0, 5);
    In.FillBits(16);
    In.FillBits(17);
    EXPECT_EQ(0u, In.PeekBits());
    In.SetMemberData(0, 5); // starts afresh
    In.FillBits(16);
    In.FillBits(16);
    EXPECT_EQ(0x8000u, In.PeekBits());
}

// Reading ahead for a whole symbol (HoldBits, PeekBitsAfter, SkipBits)
// and reading a code at a time (FillBits, GetBits) take the same bits, in
// any mix, over two buffer loads, the end of the data and the zero bits
// behind it. The bytes around the member's data never show.
TEST_F(BitInputTest, ReadingAheadAgreesWithReadingCodeByCode) {
    std::mt19937 rng(5);
    const std::string data = RandomBytes(rng, 40000);
    Open(RandomBytes(rng, 300) + data + RandomBytes(rng, 300));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        In.SetMemberData(300, static_cast<int>(data.size()));
        In.FillBits(16);
        long long at = 0; // bits consumed
        int heldAhead = 0;
        while (at + 32 < 8 * static_cast<long long>(data.size()) + CFileBuffer::SlackBitsPastData) {
            ASSERT_EQ(ReferenceWindow(data, at), In.PeekBits()) << "at bit " << at;
            const unsigned kind = rng() % 4;
            const int spare = static_cast<int>(rng() % (CFileBuffer::SpareBitsAhead + 1));
            if (kind == 0) {
                const int n = 1 + static_cast<int>(rng() % 16);
                ASSERT_EQ(ReferenceWindow(data, at) >> (16 - n), In.GetBits(n)) << "at bit " << at;
                at += n;
            } else if (kind == 1) {
                const int n = static_cast<int>(rng() % 18);
                In.FillBits(n);
                at += n;
            } else if (In.HoldBits(spare)) {
                ++heldAhead;
                const int skip = static_cast<int>(rng() % (spare + 1));
                ASSERT_EQ(ReferenceWindow(data, at + skip), In.PeekBitsAfter(skip))
                    << "at bit " << at << " + " << skip;
                const int n = static_cast<int>(rng() % (spare + 1));
                In.SkipBits(n);
                at += n;
            } else {
                // Refused near the end of the buffer: nothing consumed, and
                // the window as it was.
                ASSERT_EQ(ReferenceWindow(data, at), In.PeekBits()) << "at bit " << at;
            }
        }
        EXPECT_GT(heldAhead, 1000);
    }
}

} // namespace
