// Separator scans never split a double-byte character (code page 932).
#include "DbcsText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LastCharIndex, FindsTheLastSingleByteOccurrence) {
    EXPECT_EQ(7, LastCharIndex("C:\\Apps\\", '\\'));
    EXPECT_EQ(2, LastCharIndex("C:\\Apps", '\\'));
    EXPECT_EQ(-1, LastCharIndex("Apps", '\\'));
    EXPECT_EQ(-1, LastCharIndex("", '\\'));
}

TEST(LastCharIndex, SkipsTrailBytesWithTheValueOfABackslash) {
    // 0x95 0x5C and 0x83 0x5C are single characters.
    EXPECT_EQ(2, LastCharIndex("C:\\\x95\x5C", '\\'));
    EXPECT_EQ(5, LastCharIndex("C:\\\x83\x5C\\", '\\'));
    // A lead byte before a byte that is no trail byte stands alone.
    EXPECT_EQ(2, LastCharIndex("\x81 \\", '\\'));
    // A lead byte in the last position is skipped alone.
    EXPECT_EQ(0, LastCharIndex("\\\x95", '\\'));
    // Pairs are taken from the left: the second 0x95 is the trail of the first.
    EXPECT_EQ(2, LastCharIndex("\x95\x95\\", '\\'));
}

TEST(IsDoubleByteAt, NeedsALeadAndAValidTrail) {
    EXPECT_TRUE(IsDoubleByteAt("\x82\xA0", 0));
    EXPECT_FALSE(IsDoubleByteAt("\x82", 0));
    EXPECT_FALSE(IsDoubleByteAt("\x82\x7F", 0)); // 0x7F is never a trail byte
    EXPECT_FALSE(IsDoubleByteAt("A\xA0", 0));    // half-width katakana: single byte
    EXPECT_FALSE(IsDoubleByteAt("\xA0\x82", 0));
}

TEST(EndsInLoneLeadByte, OnlyALeadByteThatNoTrailFollows) {
    EXPECT_TRUE(EndsInLoneLeadByte("C:\\Apps\x95"));
    EXPECT_TRUE(EndsInLoneLeadByte("\x83"));
    // The second 0x95 is the trail of the first; the third stands alone.
    EXPECT_FALSE(EndsInLoneLeadByte("\x95\x95"));
    EXPECT_TRUE(EndsInLoneLeadByte("\x95\x95\x95"));
    EXPECT_FALSE(EndsInLoneLeadByte("C:\\\x95\x5C"));
    EXPECT_FALSE(EndsInLoneLeadByte("C:\\Apps"));
    EXPECT_FALSE(EndsInLoneLeadByte("\xA0")); // half-width katakana
    EXPECT_FALSE(EndsInLoneLeadByte(""));
}

TEST(EndsWithBackslash, NotWithATrailByteOfItsValue) {
    EXPECT_TRUE(EndsWithBackslash("C:\\"));
    EXPECT_TRUE(EndsWithBackslash("C:\\\x83\x5C\\"));
    EXPECT_FALSE(EndsWithBackslash("C:\\\x95\x5C"));
    EXPECT_FALSE(EndsWithBackslash("C:\\Apps"));
    EXPECT_FALSE(EndsWithBackslash(""));
}

TEST(CutTrailingBackslash, KeepsDriveRootsAndTrailBytes) {
    char path[260];
    const struct {
        const char* Given;
        const char* Expected;
    } cases[] = {
        {"C:\\", "C:\\"},
        {"C:\\Program Files\\Quillometer\\", "C:\\Program Files\\Quillometer"},
        {"C:\\Tools", "C:\\Tools"},
        {"\\\\server\\share\\", "\\\\server\\share"},
        {"C:\\\x95\x5C", "C:\\\x95\x5C"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::strcpy(path, c.Given);
        CutTrailingBackslash(path);
        EXPECT_STREQ(c.Expected, path) << "given " << c.Given;
    }
}

} // namespace
