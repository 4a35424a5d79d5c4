// The buffered stream: block reads and writes, and failures that must not
// pass for success.
#include "FileBuffer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

class FileBufferTest : public ::testing::Test {
  protected:
    TempDir Dir;
    CFileBuffer Stream;

    void TearDown() override { Stream.Close(); }
    std::string Path(const char* name) { return Dir.Path(name); }
    std::string Engine(const char* name) { return EnginePath(Dir.Path(name)); }
};

TEST_F(FileBufferTest, OpenReadFailsOnMissingFilesAndFolders) {
    EXPECT_FALSE(Stream.OpenRead(Engine("missing").c_str()));
    EXPECT_FALSE(Stream.IsOpen());
    EXPECT_FALSE(Stream.OpenRead(EnginePath(Dir.Path()).c_str()));
    Stream.Close(); // harmless without a file
    EXPECT_FALSE(Stream.IsOpen());
}

TEST_F(FileBufferTest, ReadReturnsWhatTheFileStillHas) {
    WriteBytes(Path("in"), std::string(40, 'x'));
    ASSERT_TRUE(Stream.OpenRead(Engine("in").c_str()));
    Stream.SetMemberData(0, 40);
    char buffer[100];
    EXPECT_EQ(40, Stream.Read(buffer, 100));
    EXPECT_EQ(0, Stream.Read(buffer, 100));
}

TEST_F(FileBufferTest, ReadCrossesBufferLoadsAndStartsAtTheMemberData) {
    std::string data;
    for (int i = 0; i < 50000; ++i)
        data += static_cast<char>(i * 7 + i / 300);
    WriteBytes(Path("in"), data);
    ASSERT_TRUE(Stream.OpenRead(Engine("in").c_str()));
    Stream.SetMemberData(1000, 45000);
    std::vector<char> got(30000);
    ASSERT_EQ(30000, Stream.Read(got.data(), 30000));
    EXPECT_EQ(data.substr(1000, 30000), std::string(got.data(), 30000));
    ASSERT_EQ(19000, Stream.Read(got.data(), 30000));
    EXPECT_EQ(data.substr(31000), std::string(got.data(), 19000));
}

TEST_F(FileBufferTest, AFullBufferIsWrittenOnlyWhenMoreArrivesOrOnFlush) {
    ASSERT_TRUE(Stream.Create(Engine("out").c_str()));
    const std::string block(16384, 'a');
    EXPECT_EQ(16384, Stream.Write(block.data(), 16384));
    EXPECT_EQ(0u, ReadBytes(Path("out")).size());
    EXPECT_EQ(1, Stream.Write("b", 1));
    EXPECT_EQ(16384u, ReadBytes(Path("out")).size());
    Stream.Flush();
    Stream.Flush(); // nothing waiting: nothing written twice
    EXPECT_EQ(block + "b", ReadBytes(Path("out")));
}

TEST_F(FileBufferTest, CreateNeverTouchesAnExistingFile) {
    WriteBytes(Path("out"), "old contents");
    EXPECT_FALSE(Stream.Create(Engine("out").c_str()));
    EXPECT_FALSE(Stream.IsOpen());
    EXPECT_EQ("old contents", ReadBytes(Path("out")));
}

// What the engine's temporary file relies on, on Windows and in the stand-in
// alike: a file set for deletion goes when it is closed, also after a rename
// through its handle; once its deletion is cancelled it stays, under its new
// name.
TEST_F(FileBufferTest, AFileSetForDeletionGoesWhenClosedUnlessKept) {
    for (bool keep : {false, true}) {
        std::remove(Path("renamed").c_str());
        ASSERT_TRUE(Stream.CreateTemporary(Engine("made").c_str()));
        Stream.Write("data", 4);
        Stream.Flush();
        union {
            FILE_RENAME_INFO Info;
            unsigned char Bytes[sizeof(FILE_RENAME_INFO) + 260 * sizeof(WCHAR)];
        } rename;
        std::memset(&rename, 0, sizeof rename);
        const int count = MultiByteToWideChar(
            CP_ACP, MB_ERR_INVALID_CHARS, Engine("renamed").c_str(), -1, rename.Info.FileName, 260);
        ASSERT_GT(count, 0);
        rename.Info.FileNameLength = static_cast<DWORD>((count - 1) * sizeof(WCHAR));
        ASSERT_TRUE(
            SetFileInformationByHandle(Stream.FileHandle, FileRenameInfo, &rename, sizeof rename));
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        ASSERT_TRUE(SetFileInformationByHandle(Stream.FileHandle, FileDispositionInfo, &disposition,
                                               sizeof disposition));
        disposition.DeleteFile = keep ? FALSE : TRUE;
        ASSERT_TRUE(SetFileInformationByHandle(Stream.FileHandle, FileDispositionInfo, &disposition,
                                               sizeof disposition));
        EXPECT_TRUE(Stream.Close());
        EXPECT_FALSE(FileExists(Path("made"))) << keep;
        EXPECT_EQ(keep, FileExists(Path("renamed")));
        if (keep) {
            EXPECT_EQ("data", ReadBytes(Path("renamed")));
        }
    }
}

#ifndef _WIN32
// While it lives, no file of the process may grow past `bytes`; SIGXFSZ is
// ignored, so that a write past the limit fails instead of ending the tests.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : Previous(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &Saved);
        struct rlimit limited = Saved;
        limited.rlim_cur = bytes;
        Set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &Saved);
        std::signal(SIGXFSZ, Previous);
    }
    bool Set;

  private:
    void (*Previous)(int);
    struct rlimit Saved;
};

// Past a file-size limit the system refuses a write outright.
TEST_F(FileBufferTest, AWriteFailureThrows) {
    bool first = false, second = false;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Set);
        ASSERT_TRUE(Stream.Create(Engine("out").c_str()));
        const std::string block(1000, 'z');
        Stream.Write(block.data(), 1000);
        try {
            Stream.Flush();
            first = true;
            Stream.Write("z", 1);
            Stream.Flush();
        } catch (const CFileException&) {
            second = true;
        }
    }
    EXPECT_TRUE(first) << "1000 bytes are within the limit";
    EXPECT_TRUE(second) << "the byte past the limit";
}

// A file-size limit makes the system store only part of a write and report
// the smaller count, as a full disk can: the stream must not call that success.
TEST_F(FileBufferTest, AShortWriteThrows) {
    bool threw = false;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Set);
        ASSERT_TRUE(Stream.Create(Engine("out").c_str()));
        const std::string block(4000, 'z');
        Stream.Write(block.data(), 4000);
        try {
            Stream.Flush();
        } catch (const CFileException&) {
            threw = true;
        }
    }
    EXPECT_TRUE(threw);
    Stream.Close();
    EXPECT_EQ(1000u, ReadBytes(Path("out")).size()); // the system did store a part
}
#endif

} // namespace
