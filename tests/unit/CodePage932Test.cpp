// The stand-in's names: code page 932 to UTF-8 as Windows converts a path
// (the expected texts of bytes outside the code page are what Wine's
// CreateFileA makes of them in code page 932), and back.
#include "ExtractorLZH.h"
#include "TestFiles.h"
#include "standin/CodePage932.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Conversion {
    const char* CodePage932;
    const char* Utf8;
};

TEST(CodePage932, CharactersByTheTable) {
    const Conversion cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"\x95\x5C\x8E\xA6.txt", "表示.txt"}, // trail bytes 0x5C and 0xA6
        {"\x83\x5C\x83\x74\x83\x67", "ソフト"},
        {"\x82\xA0\x81\x40\x81\x5C", "あ\u3000―"},
        {"\xB1\xB2\xB3\xDF", "ｱｲｳﾟ"},                   // half-width katakana: single bytes
        {"\\~", "\\~"},                                 // 0x5C and 0x7E stay ASCII, as on Windows
        {"\x87\x40\xED\x40\xFA\x40\xFC\x4B", "①纊ⅰ黑"}, // NEC and IBM extensions
        {"\xF0\x40\xF9\xFC", "\uE000\uE757"},           // the user-defined area
    };
    for (const Conversion& c : cases)
        EXPECT_EQ(c.Utf8, Utf8FromCodePage932(c.CodePage932)) << c.Utf8;
}

// Names from archives of other systems: bytes that are no text of the code
// page are taken as Windows takes them in a path, so such an archive gives
// the same files on Linux as on Windows.
TEST(CodePage932, BytesOutsideTheCodePageAsWindowsTakesThem) {
    const Conversion cases[] = {
        {"\x80", "\u0080"},
        {"\xA0", "\uF8F0"},
        {"\xFD\xFE\xFF", "\uF8F1\uF8F2\uF8F3"},
        {"a\x85\x40z", "a・z"},          // a pair the table lacks
        {"\xEB\x40\xFC\xFC", "・・"},    // the rows and columns it lacks
        {"a\x81 z", "a・z"},             // a lead byte takes the byte after it
        {"\x81\x7F\x81\x3F", "・・"},    // whatever that is
        {"\xE3\x81\x82.txt", "縺・txt"}, // あ in UTF-8: a pair, then 0x82 takes the dot
        {"name\x81", "name"},            // a lead byte at the end is dropped
        {"\x81\x81\x81", "＝"},
        {"\x81", ""},
    };
    for (const Conversion& c : cases)
        EXPECT_EQ(c.Utf8, Utf8FromCodePage932(c.CodePage932)) << c.Utf8;
}

TEST(CodePage932, BackFromUtf8OnlyWhatComesBackAsItself) {
    std::string out;
    ASSERT_TRUE(CodePage932FromUtf8("表示.txt", out));
    EXPECT_EQ("\x95\x5C\x8E\xA6.txt", out);
    ASSERT_TRUE(CodePage932FromUtf8("ｱ①\uE000 ~\\", out));
    EXPECT_EQ("\xB1\x87\x40\xF0\x40 ~\\", out);
    ASSERT_TRUE(CodePage932FromUtf8("", out));
    EXPECT_EQ("", out);
    // No form in the code page, or one that is another character's.
    for (const char* refused :
         {"café", "emoji \U0001F600", "\u00A5", "\u203E", "\xFF\xFE", "\xE8\xA1", "\u30FB\u0080"}) {
        EXPECT_FALSE(CodePage932FromUtf8(refused, out)) << refused;
    }
}

// A path of 259 bytes in code page 932, the most the engine holds, becomes
// longer in UTF-8; nothing of it is cut on the way.
TEST(CodePage932, APathLongerInUtf8ThanTheEnginesBuffers) {
    std::string name;
    for (int i = 0; i < 129; ++i)
        name += "\x95\x5C"; // 表, 2 bytes in code page 932, 3 in UTF-8
    name += "x";
    ASSERT_EQ(259u, name.size());
    const std::string utf8 = Utf8FromCodePage932(name.c_str());
    EXPECT_EQ(129u * 3 + 1, utf8.size());
    std::string back;
    ASSERT_TRUE(CodePage932FromUtf8(utf8.c_str(), back));
    EXPECT_EQ(name, back);
}

// Through the stand-in's calls: a trail byte 0x5C is part of its character,
// never a separator, and the files are named in UTF-8.
TEST(CodePage932, TheStandInNamesFilesInUtf8) {
    TempDir dir;
    const std::string engine = EnginePath(dir.Path());
    ASSERT_EQ(0, _mkdir((engine + "\\\x95\x5C").c_str()));
    const HANDLE file =
        CreateFileA((engine + "\\\x95\x5C\\\x83\x5C.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_TRUE(FileExists(dir.Path("表/ソ.txt")));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA((engine + "\\\x95\x5C").c_str()));
    EXPECT_TRUE(MoveFileExA((engine + "\\\x95\x5C\\\x83\x5C.txt").c_str(),
                            (engine + "\\\x95\x5C\\a\x81\x20.txt").c_str(), 0));
    EXPECT_TRUE(FileExists(dir.Path("表/a・.txt")));
    EXPECT_EQ(1, CountEntries(dir.Path("表")));
}

} // namespace
