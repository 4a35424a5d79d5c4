// Member headers: the three levels, their checksums and CRCs, and the rules
// that decide what is a header at all.
#include "ArchiveBuilder.h"
#include "ExtractorLZH.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string FromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2)
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

class HeaderTest : public ::testing::Test {
  protected:
    // The engine is large; one per test keeps the tests independent.
    std::unique_ptr<CExtractorLZH> X{new CExtractorLZH()};

    bool Parse(const std::string& bytes) {
        return X->ParseHeader(Bytes(bytes), static_cast<int>(bytes.size()));
    }
    const MemberHeaderLZH& H() const { return X->GetHeader(); }
};

// The header of the payload's last member, as a real archiver wrote it.
const char ReadMeHeader[] =
    "47002d6c68352d93140000a93800003c1f803a200206574d0d0001526561644d652e7478741b0041e0c0f5"
    "5beda4bf0100463bb35590c00100d8fe794d90c001050000ebeb0000";

TEST_F(HeaderTest, CrcAndSumMatchKnownValues) {
    X->ResetCrc();
    X->UpdateCrc(Bytes("123456789"), 9);
    EXPECT_EQ(0xBB3D, X->GetCrc());
    X->ResetCrc();
    X->UpdateCrc(Bytes("abc"), 3);
    EXPECT_EQ(0x9738, X->GetCrc());
    X->UpdateCrc(Bytes("abc"), 0);
    X->UpdateCrc(Bytes("abc"), -5);
    EXPECT_EQ(0x9738, X->GetCrc());
    EXPECT_EQ(38, CExtractorLZH::HeaderSum(Bytes("abc"), 3));
    EXPECT_EQ(0, CExtractorLZH::HeaderSum(Bytes("abc"), -1));

    // Every byte value against the bit-by-bit reference.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    X->ResetCrc();
    X->UpdateCrc(Bytes(all), 256);
    EXPECT_EQ(Crc16(all), X->GetCrc());
}

// The CRC takes sixteen bytes at a time through its slices and the rest one
// at a time: every length up to a few rounds, at every alignment of the
// bytes, from several registers, and a full ring, against the bit-by-bit
// reference.
TEST_F(HeaderTest, CrcAtEveryLengthAndAlignmentMatchesTheReference) {
    std::string bytes(16384 + 16, 0);
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    for (const std::string& prefix : {std::string(), std::string("a"), std::string("\xFF\x01")}) {
        for (int align = 0; align < 16; ++align) {
            for (int length = 0; length <= 80; ++length) {
                X->ResetCrc();
                X->UpdateCrc(Bytes(prefix), static_cast<int>(prefix.size()));
                X->UpdateCrc(Bytes(bytes) + align, length);
                ASSERT_EQ(Crc16(prefix + bytes.substr(static_cast<size_t>(align),
                                                      static_cast<size_t>(length))),
                          X->GetCrc())
                    << "prefix " << prefix.size() << ", alignment " << align << ", length "
                    << length;
            }
        }
        const std::string ring = bytes.substr(3, 16384);
        X->ResetCrc();
        X->UpdateCrc(Bytes(prefix), static_cast<int>(prefix.size()));
        X->UpdateCrc(Bytes(ring), 16384);
        EXPECT_EQ(Crc16(prefix + ring), X->GetCrc()) << prefix.size();
        X->UpdateCrc(Bytes(ring), 16383);
        EXPECT_EQ(Crc16(prefix + ring + ring.substr(0, 16383)), X->GetCrc());
    }
}

TEST_F(HeaderTest, ParsesTheReadMeHeaderOfThePayload) {
    const std::string h = FromHex(ReadMeHeader);
    ASSERT_EQ(71u, h.size());
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(71, H().HeaderSize);
    EXPECT_EQ(5, H().MethodIndex);
    EXPECT_EQ(5267, H().PackedSize);
    EXPECT_EQ(14505, H().UnpackedSize);
    EXPECT_EQ(981475132, H().TimeStamp); // already UTC: no zone shift
    EXPECT_TRUE(H().HasFileCrc);
    EXPECT_EQ(0x5706, H().FileCrc);
    EXPECT_STREQ("ReadMe.txt", H().Name);

    std::string damaged = h;
    damaged[69] ^= 1; // the header CRC itself
    EXPECT_FALSE(Parse(damaged));
    damaged = h;
    damaged[30] ^= 0x20; // a letter of the name
    EXPECT_FALSE(Parse(damaged));
}

TEST_F(HeaderTest, ShortOrZeroStartReadsAsEndOfArchive) {
    const std::string h = FromHex(ReadMeHeader);
    EXPECT_TRUE(X->ParseHeader(Bytes(h), 21));
    EXPECT_EQ(0, H().HeaderSize);
    EXPECT_TRUE(X->ParseHeader(Bytes(h), 0));
    EXPECT_EQ(0, H().HeaderSize);
    EXPECT_STREQ("", H().Name);

    std::string zero = h;
    zero[0] = 0;
    EXPECT_TRUE(Parse(zero));
    EXPECT_EQ(0, H().HeaderSize);

    // A level-2 header of 256 bytes starts with a zero byte: the end marker.
    TestMember m;
    m.Name = "x";
    m.AvoidEndMarkerSize = false;
    m.Padding = 256 - static_cast<int>(MemberHeaderBytes(m).size());
    const std::string h256 = MemberHeaderBytes(m);
    ASSERT_EQ(256u, h256.size());
    EXPECT_TRUE(Parse(h256));
    EXPECT_EQ(0, H().HeaderSize);
}

TEST_F(HeaderTest, KnowsTheNineMethodsAndNoOthers) {
    const char* methods[] = {"-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-",
                             "-lh5-", "-lzs-", "-lz5-", "-lz4-"};
    for (int i = 0; i < 9; ++i) {
        TestMember m;
        m.Method = methods[i];
        m.Name = "f";
        ASSERT_TRUE(Parse(MemberHeaderBytes(m))) << methods[i];
        EXPECT_EQ(i, H().MethodIndex);
        EXPECT_STREQ(methods[i], CExtractorLZH::MethodName(i));
    }
    for (const char* other : {"-lh6-", "-lh7-", "-LH5-", "-lh5 ", "-LHD-"}) {
        TestMember m;
        m.Method = other;
        m.Name = "f";
        EXPECT_FALSE(Parse(MemberHeaderBytes(m))) << other;
    }
}

// A folder entry (-lhd-) is a header without data at every level, the
// extensions of level 1 counted out of its packed size; one that claims
// data is no header.
TEST_F(HeaderTest, FolderEntriesHaveNoData) {
    for (int level = 0; level <= 2; ++level) {
        TestMember m;
        m.Method = "-lhd-";
        m.Name = "sub\\deeper\\";
        m.Level = level;
        m.HeaderCrc = level == 2; // so that ResealSum below reseals level 1 in full
        if (level == 1)
            m.Extensions = {std::string("\x02sub\xFF", 5), std::string("\x54\1\2\3\4", 5)};
        ASSERT_TRUE(Parse(MemberHeaderBytes(m))) << level;
        EXPECT_EQ(MethodDirectory, H().MethodIndex);
        EXPECT_STREQ("-lhd-", CExtractorLZH::MethodName(H().MethodIndex));
        EXPECT_EQ(0, H().PackedSize);
        EXPECT_EQ(0, H().UnpackedSize);
        EXPECT_FALSE(H().HasFileCrc) << level; // no data, no CRC of it
        EXPECT_STREQ("", H().Name);

        std::string sized = MemberHeaderBytes(m);
        sized[11] = 1; // a size of 1 without packed data
        level == 2 ? ResealLevel2(sized) : ResealSum(sized);
        EXPECT_FALSE(Parse(sized)) << level;
        sized[11] = 0;
        level == 2 ? ResealLevel2(sized) : ResealSum(sized);
        EXPECT_TRUE(Parse(sized)) << level; // resealed as it was: a header again
        m.Data = "x";
        EXPECT_FALSE(Parse(MemberHeaderBytes(m))) << level;
    }
}

TEST_F(HeaderTest, RejectsUnknownLevelsAndBadChecksums) {
    TestMember m;
    m.Level = 0;
    m.Name = "file.txt";
    std::string h = MemberHeaderBytes(m);
    ASSERT_TRUE(Parse(h));
    h[20] = 3;
    ResealSum(h);
    EXPECT_FALSE(Parse(h));

    h = MemberHeaderBytes(m);
    h[1] ^= 1;
    EXPECT_FALSE(Parse(h));

    h = MemberHeaderBytes(m);
    EXPECT_FALSE(X->ParseHeader(Bytes(h), static_cast<int>(h.size()) - 1)); // cut short
}

TEST_F(HeaderTest, Level0FileCrcIsOptional) {
    TestMember m;
    m.Level = 0;
    m.Name = "abc";
    m.Data = "data";
    m.DosDate = DosDate(2001, 2, 3);
    m.DosTime = DosTime(4, 5, 6);
    ASSERT_TRUE(Parse(MemberHeaderBytes(m)));
    EXPECT_EQ(27, H().HeaderSize);
    EXPECT_TRUE(H().HasFileCrc);
    EXPECT_EQ(Crc16("data"), H().FileCrc);
    EXPECT_EQ(4, H().PackedSize);
    EXPECT_EQ(4, H().UnpackedSize);
    EXPECT_STREQ("abc", H().Name);

    m.FileCrc = false;
    ASSERT_TRUE(Parse(MemberHeaderBytes(m)));
    EXPECT_EQ(25, H().HeaderSize);
    EXPECT_FALSE(H().HasFileCrc);

    // One spare byte after the name: no room for a CRC either.
    std::string h = MemberHeaderBytes(m);
    h += 'Z';
    h[0] = static_cast<char>(h[0] + 1);
    ResealSum(h);
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(26, H().HeaderSize);
    EXPECT_FALSE(H().HasFileCrc);
}

TEST_F(HeaderTest, Level0NameMustLieInsideTheHeader) {
    TestMember m;
    m.Level = 0;
    m.Name = "abc";
    std::string h = MemberHeaderBytes(m);
    h[21] = 10; // longer than the header holds
    EXPECT_FALSE(Parse(h + std::string(40, 'x')));
}

TEST_F(HeaderTest, Level1ExtensionsGrowTheHeaderAndShrinkThePackedSize) {
    TestMember m;
    m.Level = 1;
    m.Name = "dir/long name.txt";
    m.ExtName = true;
    m.Data = "0123456789";
    m.Extensions.push_back(std::string("\x02") + "some\xFF" + "dir"); // a folder: skipped
    const std::string h = MemberHeaderBytes(m);
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(static_cast<int>(h.size()), H().HeaderSize);
    EXPECT_EQ(10, H().PackedSize);
    EXPECT_STREQ("long name.txt", H().Name);
    EXPECT_TRUE(H().HasFileCrc);

    // The header CRC covers the extensions too.
    std::string damaged = h;
    damaged[h.size() - 12] ^= 0x40;
    EXPECT_FALSE(Parse(damaged));

    // An extension that reaches past the bytes at hand.
    EXPECT_FALSE(X->ParseHeader(Bytes(h), static_cast<int>(h.size()) - 1));
}

TEST_F(HeaderTest, Level1WithoutRoomForTheExtensionSizeIsRejected) {
    TestMember m;
    m.Level = 0;
    m.Name = "n";
    for (int extra = 0; extra <= 3; ++extra) {
        std::string h = MemberHeaderBytes(m) + std::string(static_cast<size_t>(extra), 0);
        h[20] = 1;
        h[0] = static_cast<char>(h.size() - 2);
        ResealSum(h);
        const int rest = static_cast<int>(h.size()) - 1; // header size minus name length
        if (rest == 24 || rest == 25)
            EXPECT_FALSE(Parse(h)) << rest;
        else
            EXPECT_TRUE(Parse(h)) << rest;
    }
}

TEST_F(HeaderTest, Level2NeedsItsHeaderCrc) {
    TestMember m;
    m.Name = "file";
    m.HeaderCrc = false;
    EXPECT_FALSE(Parse(MemberHeaderBytes(m)));
    m.HeaderCrc = true;
    m.Extensions.push_back(std::string("\x41") + std::string(24, 7));
    ASSERT_TRUE(Parse(MemberHeaderBytes(m)));
    EXPECT_STREQ("file", H().Name);
}

TEST_F(HeaderTest, HostileLevel2ExtensionChainsAreRejected) {
    TestMember m;
    m.Name = "file";
    const std::string good = MemberHeaderBytes(m);
    ASSERT_TRUE(Parse(good));

    // The first extension claims to reach past the header.
    std::string h = good;
    h[24] = static_cast<char>(200);
    EXPECT_FALSE(Parse(h + std::string(300, 0)));
    // An extension smaller than its own type and link.
    for (int size : {1, 2}) {
        h = good;
        h[24] = static_cast<char>(size);
        EXPECT_FALSE(Parse(h)) << size;
    }
    // A header-CRC extension without room for the CRC.
    TestMember tiny;
    tiny.Name = "f";
    tiny.HeaderCrc = false;
    tiny.Extensions.push_back(std::string(1, 0));
    EXPECT_FALSE(Parse(MemberHeaderBytes(tiny)));
    // A size too small for the fixed fields.
    h = good;
    h[0] = 24;
    h[1] = 0;
    EXPECT_FALSE(Parse(h));
}

TEST_F(HeaderTest, NamesThatDoNotFitAreRefusedNotCut) {
    TestMember m;
    m.Name = std::string(259, 'n');
    ASSERT_TRUE(Parse(MemberHeaderBytes(m)));
    EXPECT_EQ(259u, std::string(H().Name).size());
    m.Name = std::string(260, 'n');
    EXPECT_FALSE(Parse(MemberHeaderBytes(m)));
    m.Name = std::string(300, 'n');
    EXPECT_FALSE(Parse(MemberHeaderBytes(m)));
}

TEST_F(HeaderTest, SizesOf2GiBAndMoreAreRefused) {
    TestMember m;
    m.Name = "f";
    std::string h = MemberHeaderBytes(m);
    h[10] = static_cast<char>(0x80); // packed size 0x80000000
    ResealLevel2(h);
    EXPECT_FALSE(Parse(h));
    h[10] = 0x7F;
    ResealLevel2(h);
    EXPECT_TRUE(Parse(h));

    // Level 1: extensions larger than the packed size would leave it negative.
    TestMember one;
    one.Level = 1;
    one.Name = "f";
    one.Data = "";
    std::string h1 = MemberHeaderBytes(one);
    h1[7] = 1; // packed size 1, while the extensions alone take 5
    ResealSum(h1);
    EXPECT_FALSE(Parse(h1));
    // A packed size that already reads as negative: refused, and the
    // subtraction of the extensions must not overflow on the way.
    h1[10] = static_cast<char>(0x80); // 0x80000001
    ResealSum(h1);
    EXPECT_FALSE(Parse(h1));
}

TEST_F(HeaderTest, Level01TimeIsLocalMsDosTime) {
    TestMember m;
    m.Level = 0;
    m.Name = "t";
    m.DosDate = DosDate(2001, 1, 2);
    m.DosTime = DosTime(3, 4, 6);
    ASSERT_TRUE(Parse(MemberHeaderBytes(m)));
    const std::time_t t = H().TimeStamp;
    const std::tm* local = std::localtime(&t);
    ASSERT_NE(nullptr, local);
    EXPECT_EQ(101, local->tm_year);
    EXPECT_EQ(0, local->tm_mon);
    EXPECT_EQ(2, local->tm_mday);
    EXPECT_EQ(3, local->tm_hour);
    EXPECT_EQ(4, local->tm_min);
    EXPECT_EQ(6, local->tm_sec);
}

TEST(BaseName, KeepsOnlyThePartAfterTheLastSeparator) {
    EXPECT_STREQ("c.txt", CExtractorLZH::BaseName("a/b\\c.txt"));
    EXPECT_STREQ("file", CExtractorLZH::BaseName("C:file"));
    EXPECT_STREQ("", CExtractorLZH::BaseName("dir/"));
    EXPECT_STREQ("plain", CExtractorLZH::BaseName("plain"));
    EXPECT_STREQ("b", CExtractorLZH::BaseName("a\xFF"
                                              "b"));
    // 0x95 0x5C is one character whose second byte has a backslash's value.
    EXPECT_STREQ("\x95\x5C.txt", CExtractorLZH::BaseName("dir\\\x95\x5C.txt"));
    // A lead byte followed by no valid trail byte stands alone.
    EXPECT_STREQ("x", CExtractorLZH::BaseName("\x95/x"));
}

} // namespace
