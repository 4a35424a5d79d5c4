// The setup's portable rules: bounded path texts, which paths it takes for a
// destination, the known releases that the search recognises, which folders
// it enters, and its moving line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../setup/PathRules.h"
#include "../../setup/SearchRules.h"
#include "../../setup/TextBuffer.h"

namespace {

std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

TEST(TextBufferTest, CopyAndAppendRefuseWholeTextsThatDoNotFit) {
    char buffer[8];
    EXPECT_TRUE(CopyText(buffer, "1234567")); // 7 bytes and the terminator
    EXPECT_STREQ("1234567", buffer);
    EXPECT_FALSE(CopyText(buffer, "12345678"));
    EXPECT_STREQ("1234567", buffer) << "a refused copy leaves the old text";

    ASSERT_TRUE(CopyText(buffer, "abc"));
    EXPECT_TRUE(AppendText(buffer, "defg"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_FALSE(AppendText(buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer) << "nothing of a refused text is appended";
    EXPECT_TRUE(AppendText(buffer, ""));
}

TEST(TextBufferTest, EndWithBackslashSkipsTrailBytesAndEmptyTexts) {
    char path[260];
    ASSERT_TRUE(CopyText(path, "C:"));
    EXPECT_TRUE(EndWithBackslash(path));
    EXPECT_STREQ("C:\\", path);
    EXPECT_TRUE(EndWithBackslash(path));
    EXPECT_STREQ("C:\\", path) << "a second call adds nothing";

    // 0x95 0x5C is one code-page-932 character whose trail byte is 0x5C.
    ASSERT_TRUE(CopyText(path, "C:\\\x95\x5C"));
    EXPECT_TRUE(EndWithBackslash(path));
    EXPECT_STREQ("C:\\\x95\x5C\\", path);

    path[0] = 0;
    EXPECT_TRUE(EndWithBackslash(path));
    EXPECT_STREQ("", path) << "an empty text is left empty";

    const std::string full = "C:\\" + Repeat('a', 256); // 259 bytes
    ASSERT_TRUE(CopyText(path, full.c_str()));
    EXPECT_FALSE(EndWithBackslash(path));
    EXPECT_EQ(full, path);
}

TEST(TextBufferTest, FitsWithNameCountsTheTerminator) {
    const std::string folder = "C:\\" + Repeat('d', 245) + "\\";    // 249 bytes
    EXPECT_TRUE(FitsWithName(folder.c_str(), "ReadMe.txt", 260));   // 259
    EXPECT_FALSE(FitsWithName(folder.c_str(), "Quillom.exe", 260)); // 260
    EXPECT_TRUE(FitsWithName("", "", 1));
    EXPECT_FALSE(FitsWithName("x", "", 1));
}

// The path above a question: from any buffer, the question box's own too
// (a caller passing MsgBuf to AskYesNo).
TEST(TextBufferTest, QuestionTextsTakeThePathFromAnyBuffer) {
    char text[1024];
    const struct {
        const char* Path;
        const char* Expected;
    } rows[] = {
        {"C:\\Program Files\\Quillometer\\", "C:\\Program Files\\Quillometer\n\n"},
        {"C:\\", "C:\\\n\n"},
        {"C:\\\x95\x5C", "C:\\\x95\x5C\n\n"},
        {nullptr, ""},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(CopyText(text, "old text"));
        BeginQuestionText(text, row.Path);
        EXPECT_STREQ(row.Expected, text) << (row.Path != nullptr ? row.Path : "no path");
        // The same path held in the text's own buffer, at its start and
        // further in.
        if (row.Path != nullptr) {
            ASSERT_TRUE(CopyText(text, row.Path));
            BeginQuestionText(text, text);
            EXPECT_STREQ(row.Expected, text) << row.Path << " in the text's buffer";
            ASSERT_TRUE(CopyText(text, "ab") && AppendText(text, row.Path));
            BeginQuestionText(text, text + 2);
            EXPECT_STREQ(row.Expected, text) << row.Path << " further in the text's buffer";
        }
    }
    // A path that would not leave room for the empty line is left out whole.
    char small[9];
    BeginQuestionText(small, "C:\\abcd\\");
    EXPECT_STREQ("", small);
    BeginQuestionText(small, "C:\\abc\\");
    EXPECT_STREQ("C:\\abc\n\n", small);
}

TEST(PathRulesTest, AbsolutePathsStartAtADriveRootOrAShare) {
    const struct {
        const char* Path;
        bool Absolute;
    } cases[] = {
        {"C:\\", true},
        {"d:\\Apps\\Quillometer\\", true},
        {"\\\\server\\share", true},
        {"\\\\server\\share\\Quillometer\\", true},
        {"Quillometer\\", false},
        {"\\Quillometer\\", false}, // the root of the current drive
        {"C:Quillometer\\", false}, // the current folder of drive C:
        {"C:", false},
        {"C:/Quillometer/", false},
        {"1:\\", false},
        {"", false},
        {"\\\\server", false},
        {"\\\\server\\", false},
        {"\\\\\\share\\", false},
        {"\\\\.\\C:\\", false}, // a device
        {"\\\\?\\C:\\", false}, // a raw path
        // 表 is 0x95 0x5C: its trail byte ends neither the server nor the share.
        {"\\\\\x95\x5C\\share", true},
        {"\\\\server\x95\x5Cshare", false},
        {"\\\\server\\\x95\x5C", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Absolute, IsAbsolutePath(c.Path)) << c.Path;
}

// Each text as typed or pasted into the folder dialog, and as a recorded
// ProgramFolder naming an existing folder. Typed: the path the dialog goes
// on with, or null when it refuses it (2017). 表 is 0x95 0x5C, ソ 0x83 0x5C
// and ポ 0x83 0x7C: their trail bytes are no backslash and no '|'.
TEST(PathRulesTest, TypedAndRecordedFolderPaths) {
    const struct {
        const char* Text;
        const char* Typed;
        bool Recorded;
    } rows[] = {
        {"C:\\Quill", "C:\\Quill", true},
        {"C:\\", "C:\\", true},
        {"C:\\Program Files\\Quillometer\\", "C:\\Program Files\\Quillometer\\", true},
        {"\\\\server\\share\\Quill\\", "\\\\server\\share\\Quill\\", true},
        // Spaces and one pair of quotes around the text come off.
        {"\"C:\\Quill\"", "C:\\Quill", false},
        {"  \"C:\\Quill\"  ", "C:\\Quill", false},
        {" C:\\Quill ", "C:\\Quill", false},
        {"\"C:\\Quill", nullptr, false},
        {"\"\"C:\\Quill\"\"", nullptr, false},
        {"\" C:\\Quill\"", nullptr, false},
        // Device names, with any extension and in any case.
        {"C:\\Quill\\NUL", nullptr, false},
        {"C:\\CON\\x", nullptr, false},
        {"C:\\Quill\\aux.txt\\x", nullptr, false},
        {"c:\\Com9.log\\", nullptr, false},
        {"C:\\lpt1", nullptr, false},
        {"C:\\prn.tar.gz", nullptr, false},
        {"C:\\COM0\\LPT10\\CONSOLE\\NUL1", "C:\\COM0\\LPT10\\CONSOLE\\NUL1", true},
        // Characters that no name holds; ':' only after the drive letter.
        {"C:\\Qu|ll\\x", nullptr, false},
        {"C:\\Qu*", nullptr, false},
        {"C:\\Qu?", nullptr, false},
        {"C:\\<Q>", nullptr, false},
        {"C:\\a\"b", nullptr, false},
        {"C:\\a:b", nullptr, false},
        {"C::\\a", nullptr, false},
        {"1:\\a", nullptr, false},
        {"C:\\a\tb", nullptr, false},
        // Parts that end in a space or a dot.
        {"C:\\Quill \\sub", nullptr, false},
        {"C:\\Quill.\\sub", nullptr, false},
        {"C:\\Quill\\..\\", nullptr, false},
        {"C:\\.Quill\\a.b", "C:\\.Quill\\a.b", true},
        // Paths handed to the system untouched, or devices.
        {"\\\\?\\C:\\Q3", nullptr, false},
        {"\\\\.\\C:\\x", nullptr, false},
        {"\\\\.\\NUL", nullptr, false},
        // Double-byte names.
        {"C:\\\x95\x5C\\\x83\x5C", "C:\\\x95\x5C\\\x83\x5C", true},
        {"C:\\\x83\x7C\\x\\", "C:\\\x83\x7C\\x\\", true},
        {"C:\\NUL\x95\x5C", "C:\\NUL\x95\x5C", true},
        {"C:\\\x95\x5C"
         "CON",
         "C:\\\x95\x5C"
         "CON",
         true},
        {"\"C:\\\x95\x5C\"", "C:\\\x95\x5C", false},
        {"C:\\\x95\x5C|", nullptr, false},
        {"C:\\\x83\x7C.", nullptr, false},
        {"C:\\\x83\x5C \\x", nullptr, false},
        {"C:\\\xB1|", nullptr, false}, // half-width katakana: one byte
        {"C:\\\x81?", nullptr, false}, // '?' is no trail byte
    };
    for (const auto& row : rows) {
        char text[260];
        ASSERT_TRUE(CopyText(text, row.Text));
        EXPECT_EQ(row.Recorded, IsRecordedInstallation(text, 0x10)) << row.Text;
        TrimTypedPath(text);
        EXPECT_EQ(row.Typed != nullptr, IsFolderPath(text)) << row.Text;
        if (row.Typed != nullptr) {
            EXPECT_STREQ(row.Typed, text) << row.Text;
        }
    }
}

// NoFileAttributes has the folder bit set too.
TEST(PathRulesTest, ARecordedFolderCountsOnlyWhereAFolderIs) {
    EXPECT_TRUE(IsRecordedInstallation("C:\\Apps\\Quillometer\\", 0x10));
    EXPECT_TRUE(IsRecordedInstallation("C:\\Apps\\Quillometer\\", 0x11)); // read-only
    EXPECT_FALSE(IsRecordedInstallation("C:\\NoSuch\\Quillometer\\", NoFileAttributes));
    EXPECT_FALSE(IsRecordedInstallation("C:\\Apps\\Quillom.exe\\", 0x20));
    EXPECT_FALSE(IsRecordedInstallation("Quillometer\\", 0x10));
}

struct tm LocalDate(int year, int month, int day, int hour = 0) {
    struct tm date = {};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    date.tm_hour = hour;
    return date;
}

TEST(SearchRulesTest, EveryKnownReleaseMatchesOnItsDateAtAnyHour) {
    const struct {
        unsigned long Size;
        int Year, Month, Day;
    } releases[] = {
        {1015808, 1999, 11, 1}, {1015808, 2000, 1, 29}, {1085440, 2000, 2, 17},
        {1085440, 2000, 3, 3},  {1228800, 2000, 4, 13}, {1302528, 2000, 6, 13},
    };
    for (const auto& r : releases) {
        for (int hour : {0, 12, 23})
            EXPECT_TRUE(IsKnownRelease(r.Size, LocalDate(r.Year, r.Month, r.Day, hour)))
                << r.Size << " on " << r.Year << "-" << r.Month << "-" << r.Day;
        EXPECT_FALSE(IsKnownRelease(r.Size, LocalDate(r.Year, r.Month, r.Day + 1)));
        EXPECT_FALSE(IsKnownRelease(r.Size + 1, LocalDate(r.Year, r.Month, r.Day)));
        EXPECT_FALSE(IsKnownRelease(r.Size, LocalDate(r.Year + 1, r.Month, r.Day)));
    }
    // A size of one release with the date of another is no release.
    EXPECT_FALSE(IsKnownRelease(1015808, LocalDate(2000, 6, 13)));
    // tm_mon counts from 0: month 11 in the table is tm_mon 10.
    struct tm november = LocalDate(1999, 11, 1);
    november.tm_mon = 11;
    EXPECT_FALSE(IsKnownRelease(1015808, november));
}

TEST(SearchRulesTest, DescendsOnlyIntoVisibleFoldersWithoutALeadingDot) {
    const unsigned directory = 0x10, hidden = 0x2, system = 0x4, readOnly = 0x1;
    EXPECT_TRUE(QualifiesForDescent(directory, "Apps"));
    EXPECT_TRUE(QualifiesForDescent(directory | system, "WINDOWS"));
    EXPECT_TRUE(QualifiesForDescent(directory | readOnly, "Program Files"));
    EXPECT_FALSE(QualifiesForDescent(directory | hidden, "Apps"));
    EXPECT_FALSE(QualifiesForDescent(directory | hidden | system, "System Volume Information"));
    EXPECT_FALSE(QualifiesForDescent(directory | 0x400, "Link")) << "a junction may lead back up";
    EXPECT_FALSE(QualifiesForDescent(directory, "."));
    EXPECT_FALSE(QualifiesForDescent(directory, ".."));
    EXPECT_FALSE(QualifiesForDescent(directory, ".cache"));
    EXPECT_FALSE(QualifiesForDescent(0x20, "Quillom.exe"));
}

// Each drive of the mask once, in letter order; the bits past Z name no drive.
TEST(SearchRulesTest, DrivesFollowInLetterOrderOnce) {
    const struct {
        unsigned long Drives;
        std::vector<int> Order;
    } rows[] = {
        {0, {}},
        {0x1, {0}},           // A:
        {0xD, {0, 2, 3}},     // A:, C:, D:
        {0x2000004, {2, 25}}, // C:, Z:
        {0xFC000000, {}},     // only the bits past Z
        {0xFFFFFFFF, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                      13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}},
    };
    for (const auto& row : rows) {
        std::vector<int> order;
        for (int index = NextDriveIndex(row.Drives, -1); index >= 0 && order.size() < 40;
             index = NextDriveIndex(row.Drives, index))
            order.push_back(index);
        EXPECT_EQ(row.Order, order) << std::hex << row.Drives;
    }
    EXPECT_EQ(-1, NextDriveIndex(0xFFFFFFFF, 25)) << "nothing after Z:";
}

TEST(SearchRulesTest, MarqueeArrowsMoveOnePlacePerPhase) {
    char text[MarqueeLength + 1];
    for (int phase = 0; phase < 10; ++phase) {
        MarqueeText(phase, text);
        ASSERT_EQ(static_cast<size_t>(MarqueeLength), std::string(text).size());
        int arrows = 0;
        for (int j = 0; j < MarqueeLength; ++j) {
            const unsigned char c = static_cast<unsigned char>(text[j]);
            if (j % 10 == phase) {
                EXPECT_EQ('>', c) << "phase " << phase << " position " << j;
                ++arrows;
            } else {
                EXPECT_EQ(0xA5, c) << "phase " << phase << " position " << j;
            }
        }
        EXPECT_EQ(phase <= 4 ? 5 : 4, arrows) << "phase " << phase;
    }
    MarqueeText(0, text);
    EXPECT_EQ(std::string("\xA5\xA5\xA5\xA5"), std::string(text + 41)) << "ends with four dots";
}

} // namespace
