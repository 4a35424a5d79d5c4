// The engine end to end on archives of stored members: locating the archive,
// preparing the folder, selecting members, failures and what stays on disk.
#include "ArchiveBuilder.h"
#include "EncoderLH5.h"
#include "ExtractorLZH.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Outcome {
    bool Ok;
    int Error;
    int Steps;
    std::vector<std::string> Completed; // as the engine reported them
};

class ExtractorTest : public ::testing::Test {
  protected:
    TempDir Dir;
    std::unique_ptr<CExtractorLZH> X{new CExtractorLZH()};

    std::string Archive(const std::string& bytes) {
        WriteBytes(Dir.Path("archive.bin"), bytes);
        return Dir.Path("archive.bin");
    }
    std::string Out(const std::string& name = "") {
        return name.empty() ? Dir.Path("out") : Dir.Path("out/" + name);
    }

    // Runs one job as the progress dialog does: Begin, then Step to the end.
    Outcome Extract(const std::string& archive, const std::string& dest,
                    const char* only = nullptr) {
        return ExtractTo(archive, EnginePath(dest), only);
    }
    // The same, with the destination as the engine is given it.
    Outcome ExtractTo(const std::string& archive, const std::string& engineDest,
                      const char* only = nullptr) {
        if (!X->Begin(EnginePath(archive).c_str(), engineDest.c_str(), only))
            return {false, X->ErrorCode, 0, {}};
        bool done = false;
        Outcome r = {true, ErrNone, 0, {}};
        while (!done && r.Ok) {
            ++r.Steps;
            r.Ok = X->Step(done);
            if (const char* name = X->TakeCompletedName())
                r.Completed.push_back(name);
        }
        r.Error = X->ErrorCode;
        return r;
    }
    Outcome ExtractBytes(const std::string& bytes, const char* only = nullptr) {
        return Extract(Archive(bytes), Out(), only);
    }
};

TestMember Stored(const std::string& name, const std::string& data, int level = 2) {
    TestMember m;
    m.Name = name;
    m.Data = data;
    m.Level = level;
    return m;
}

std::string Pattern(size_t size, int seed) {
    std::string s(size, 0);
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 31 + seed) ^ (i >> 9));
    return s;
}

// The form of the names of the engine's temporary files: "~qm", a number in
// 16 hexadecimal digits, ".tmp". A file that is kept names itself by its
// own index so.
std::string TempName(unsigned long long number, const char* form = "~qm%016llx.tmp") {
    char name[32];
    std::snprintf(name, sizeof name, form, number);
    return name;
}

TEST_F(ExtractorTest, StoredMembersOfEveryLevelAndSize) {
    std::vector<TestMember> members;
    const size_t sizes[] = {0, 1, 16383, 16384, 16385, 50000};
    int n = 0;
    for (int level = 0; level <= 2; ++level)
        for (size_t size : sizes) {
            members.push_back(Stored("m" + std::to_string(n), Pattern(size, n), level));
            ++n;
        }
    members.push_back(Stored("lz4", "stored the old way", 0));
    members.back().Method = "-lz4-";

    const Outcome r = ExtractBytes(ArchiveBytes(members));
    ASSERT_TRUE(r.Ok) << r.Error;
    for (const TestMember& m : members)
        EXPECT_EQ(m.Data, ReadBytes(Out(m.Name))) << m.Name;
    EXPECT_EQ(static_cast<int>(members.size()), CountEntries(Out()));
}

TEST_F(ExtractorTest, AStoredSliceMovesAtMost16384Bytes) {
    const Outcome r = ExtractBytes(
        ArchiveBytes({Stored("a", Pattern(16384 * 3 + 1, 1)), Stored("b", ""), Stored("c", "x")}));
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(4 + 1 + 1, r.Steps);
}

TEST_F(ExtractorTest, PercentOfTheCurrentMember) {
    ASSERT_TRUE(X->Begin(
        EnginePath(Archive(ArchiveBytes({Stored("e", ""), Stored("half", Pattern(32768, 2))})))
            .c_str(),
        EnginePath(Out()).c_str(), nullptr));
    EXPECT_EQ(0, X->GetPercent());
    EXPECT_STREQ("e", X->GetMemberName());
    bool done = false;
    ASSERT_TRUE(X->Step(done)); // the empty member, and the next one opened
    EXPECT_FALSE(done);
    EXPECT_STREQ("half", X->GetMemberName());
    EXPECT_EQ(0, X->GetPercent());
    ASSERT_TRUE(X->Step(done));
    EXPECT_EQ(50, X->GetPercent());
    ASSERT_TRUE(X->Step(done));
    EXPECT_TRUE(done);
    EXPECT_STREQ("", X->GetMemberName()); // the end marker has been read
    EXPECT_EQ(0u, ReadBytes(Out("e")).size());
}

TEST_F(ExtractorTest, FindsAnArchiveFarIntoTheFile) {
    const std::string archive = ArchiveBytes({Stored("one.txt", "first"), Stored("two", "2nd")});
    const std::string header = MemberHeaderBytes(Stored("one.txt", "first"));
    // Offsets that put the first header across the boundary of two buffer
    // loads, right after one, deep into the file, and at odd places.
    const size_t offsets[] = {
        0, 1, 16384 - 10, 16384 - 511, 16384, 3 * 16384 + 7, 5 * 16384 - 3, 100000 - 1};
    for (size_t offset : offsets) {
        TempDir dir;
        WriteBytes(dir.Path("a"),
                   Filler(offset, static_cast<uint32_t>(offset)) + archive + Filler(30000, 9));
        ASSERT_TRUE(
            X->Begin(EnginePath(dir.Path("a")).c_str(), EnginePath(dir.Path("o")).c_str(), nullptr))
            << offset;
        bool done = false;
        while (!done)
            ASSERT_TRUE(X->Step(done)) << offset;
        EXPECT_EQ("first", ReadBytes(dir.Path("o/one.txt"))) << offset;
        EXPECT_EQ("2nd", ReadBytes(dir.Path("o/two"))) << offset;
    }
}

TEST_F(ExtractorTest, ScansToTheLastBytesOfTheFile) {
    // A tiny file, and an archive whose only header lies in the last 512
    // bytes of a larger file, with no end marker.
    const std::string tiny = ArchiveBytes({Stored("t", "")}, false);
    ASSERT_LT(tiny.size(), 40u);
    EXPECT_TRUE(ExtractBytes(tiny).Ok);
    EXPECT_TRUE(FileExists(Out("t")));

    TempDir dir;
    WriteBytes(dir.Path("a"), Filler(40000, 3) + tiny);
    EXPECT_TRUE(Extract(dir.Path("a"), dir.Path("o")).Ok);
    EXPECT_TRUE(FileExists(dir.Path("o/t")));
}

TEST_F(ExtractorTest, MethodStringsInPlainDataAreNotAnArchive) {
    std::string text;
    for (int i = 0; i < 4000; ++i)
        text += "-lh0--lh5--lz4-";
    EXPECT_EQ(ErrNotFound, ExtractBytes(text).Error);
    EXPECT_EQ(ErrNotFound, ExtractBytes(Filler(100000, 4)).Error);
    EXPECT_EQ(ErrNotFound, ExtractBytes("").Error);
    EXPECT_FALSE(FolderExists(Out())); // nothing found, nothing created
}

TEST_F(ExtractorTest, OpenFailures) {
    EXPECT_EQ(ErrOpenArchive, Extract(Dir.Path("missing"), Out()).Error);
    EXPECT_EQ(ErrOpenArchive, Extract(Dir.Path(), Out()).Error);
}

TEST_F(ExtractorTest, CreatesTheDestinationLevelByLevel) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    const std::string deep = Dir.Path("a/b/c/d");
    ASSERT_TRUE(Extract(archive, deep).Ok);
    EXPECT_EQ("data", ReadBytes(Dir.Path("a/b/c/d/f")));

    // With a trailing backslash, and into a folder that exists already.
    ASSERT_TRUE(Extract(archive, Dir.Path("e") + "\\").Ok);
    EXPECT_EQ("data", ReadBytes(Dir.Path("e/f")));
    ASSERT_TRUE(Extract(archive, Dir.Path("e")).Ok);
}

TEST_F(ExtractorTest, DestinationThatIsNoFolder) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    WriteBytes(Dir.Path("file"), "x");
    EXPECT_EQ(ErrCreateFolder, Extract(archive, Dir.Path("file")).Error);
    EXPECT_EQ(ErrCreateFolder, Extract(archive, "").Error);
    EXPECT_EQ(ErrCreateFolder, Extract(archive, Dir.Path("file/below")).Error);
}

// A destination that cannot be made takes away the parents made for it,
// innermost first; a folder that was there stays, empty as it was.
TEST_F(ExtractorTest, AFolderThatCannotBeMadeLeavesNoParentsBehind) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    WriteBytes(Dir.Path("file"), "x");
    ASSERT_EQ(0, _mkdir(EnginePath(Dir.Path("keep")).c_str()));
    // new1 and new2 are made on the way to file\x, which cannot be.
    const std::string dest = EnginePath(Dir.Path("keep")) + "\\new1\\new2\\..\\..\\..\\file\\x";
    ASSERT_FALSE(X->Begin(EnginePath(archive).c_str(), dest.c_str(), nullptr));
    EXPECT_EQ(ErrCreateFolder, X->ErrorCode);
    EXPECT_EQ(0, CountEntries(Dir.Path("keep")));
    EXPECT_EQ(3, CountEntries(Dir.Path())); // the archive, file and keep
}

// Folders whose last character is 表 (0x95 0x5C) or ソ (0x83 0x5C), whose
// trail byte has the value of a backslash: created the first time, taken as
// the existing folder the second, with or without a closing backslash.
TEST_F(ExtractorTest, AnExistingFolderEndingInTheTrailByte0x5C) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    for (const char* name : {"\x95\x5C", "\x83\x5C"}) {
        const std::string folder = Dir.Path() + "/" + HostName(name);
        ASSERT_TRUE(Extract(archive, folder).Ok) << name;
        EXPECT_TRUE(Extract(archive, folder).Ok) << name;
        EXPECT_TRUE(Extract(archive, folder + "\\").Ok) << name;
        EXPECT_EQ("data", ReadBytes(folder + "/f")) << name;
    }
}

// Japanese names land under their own names, 表示.txt on Linux as on
// Windows, also where the path is longer in the host's encoding than the
// engine's 259 bytes.
TEST_F(ExtractorTest, JapaneseNamesLandUnderTheirOwnNames) {
    std::string folder, name;
    for (int i = 0; i < 30; ++i)
        folder += "\x95\x5C"; // 表
    for (int i = 0; i < 80; ++i)
        name += "\x8E\xA6"; // 示
    name += ".txt";
    const std::string hostFolder = Dir.Path(HostName(folder));
    ASSERT_LE(EnginePath(hostFolder).size() + 1 + name.size(), 259u);
    const std::string archive =
        Archive(ArchiveBytes({Stored("\x95\x5C\x8E\xA6.txt", "short"), Stored(name, "long")}));
    ASSERT_TRUE(Extract(archive, hostFolder).Ok);
    EXPECT_EQ("short", ReadBytes(hostFolder + "/" + HostName("\x95\x5C\x8E\xA6.txt")));
    EXPECT_EQ("long", ReadBytes(hostFolder + "/" + HostName(name)));
#ifndef _WIN32
    // (The MinGW runtime's std::filesystem cannot walk a code-page-932 path.)
    EXPECT_EQ(2, CountEntries(hostFolder));
    EXPECT_TRUE(FileExists(hostFolder + "/表示.txt"));
    EXPECT_GT((hostFolder + "/" + HostName(name)).size(), 259u);
#endif
}

// A lone lead byte at the end would take the closing backslash as its trail
// byte: the files would land in the parent folder under other names.
TEST_F(ExtractorTest, ADestinationEndingInALoneLeadByteIsRefused) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    const std::string out = EnginePath(Dir.Path("out"));
    EXPECT_EQ(ErrCreateFolder, ExtractTo(archive, out + "\x95").Error);
    EXPECT_EQ(ErrCreateFolder, ExtractTo(archive, out + "\x95\x95\x83").Error);
    EXPECT_EQ(1, CountEntries(Dir.Path())); // the archive alone
    // A double-byte character at the end is a name like any other.
    EXPECT_TRUE(ExtractTo(archive, out + "\x95\x95").Ok);
}

TEST_F(ExtractorTest, OnlyTheNamedMemberIgnoringAsciiCase) {
    const std::string bytes = ArchiveBytes(
        {Stored("Quillom.exe", "program"), Stored("ReadMe.txt", "read me"), Stored("z", "z")});
    const Outcome r = ExtractBytes(bytes, "readme.TXT");
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(1, r.Steps); // done right after the member, without the next header
    EXPECT_EQ("read me", ReadBytes(Out("ReadMe.txt")));
    EXPECT_EQ(1, CountEntries(Out()));

    EXPECT_EQ(ErrNotFound, ExtractBytes(bytes, "Missing.txt").Error);
    EXPECT_EQ(ErrNotFound, ExtractBytes(bytes, std::string(300, 'a').c_str()).Error);
    // An empty name means every member.
    EXPECT_TRUE(ExtractBytes(bytes, "").Ok);
    EXPECT_EQ(3, CountEntries(Out()));
}

// Each member is reported once it is in its place, under the name of its
// file; the member that fails is not, and a report left untaken is gone
// when the next job begins.
TEST_F(ExtractorTest, ReportsEachCompletedMemberOnceUnderItsFileName) {
    std::string bytes =
        ArchiveBytes({Stored("bin/Quillom.exe", "program"), Stored("empty", ""),
                      Stored("ReadMe.txt", "read me"), Stored("bad", Pattern(100, 1))});
    bytes[bytes.size() - 20] ^= 0x01; // the last member's data
    const Outcome r = ExtractBytes(bytes);
    EXPECT_EQ(ErrCrc, r.Error);
    EXPECT_EQ((std::vector<std::string>{"Quillom.exe", "empty", "ReadMe.txt"}), r.Completed);
    EXPECT_EQ(std::vector<std::string>{"ReadMe.txt"}, ExtractBytes(bytes, "readme.txt").Completed);

    ASSERT_TRUE(X->Begin(EnginePath(Archive(bytes)).c_str(), EnginePath(Out()).c_str(), "empty"));
    bool done = false;
    ASSERT_TRUE(X->Step(done) && done);
    EXPECT_FALSE(
        X->Begin(EnginePath(Dir.Path("missing")).c_str(), EnginePath(Out()).c_str(), nullptr));
    EXPECT_EQ(nullptr, X->TakeCompletedName());
}

TEST_F(ExtractorTest, FolderPartsOfNamesAreDropped) {
    const Outcome r =
        ExtractBytes(ArchiveBytes({Stored("../../escape", "1"), Stored("C:\\windows\\same", "old"),
                                   Stored("sub/same", "new")}));
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ("1", ReadBytes(Out("escape")));
    EXPECT_EQ("new", ReadBytes(Out("same"))); // the later member wins
    EXPECT_EQ(2, CountEntries(Out()));
    EXPECT_FALSE(FileExists(Dir.Path("escape")));
}

// A folder entry (-lhd-) is a member that extracts to nothing, wherever it
// stands: first, between files, last, or alone; a job for one member passes
// over it, whatever its name.
TEST_F(ExtractorTest, FolderEntriesExtractToNothingWhereverTheyStand) {
    auto folder = [](const std::string& name, int level) {
        TestMember m = Stored(name, "", level);
        m.Method = "-lhd-";
        return m;
    };
    const std::string bytes =
        ArchiveBytes({folder("sub/", 0), Stored("a", "alpha", 0), folder("sub\\deeper\\", 1),
                      folder("link|a", 2), Stored("b", "beta", 1), folder("last/", 2)});
    const Outcome r = ExtractBytes(bytes);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(6, r.Steps); // one each
    EXPECT_EQ("alpha", ReadBytes(Out("a")));
    EXPECT_EQ("beta", ReadBytes(Out("b")));
    EXPECT_EQ(2, CountEntries(Out()));

    EXPECT_TRUE(Extract(Archive(ArchiveBytes({folder("only/", 2)})), Dir.Path("only")).Ok);
    EXPECT_EQ(0, CountEntries(Dir.Path("only"))); // made, and left empty

    const Outcome one = ExtractBytes(bytes, "B");
    ASSERT_TRUE(one.Ok);
    EXPECT_EQ(1, one.Steps);
    EXPECT_EQ("beta", ReadBytes(Out("b")));
    EXPECT_EQ(ErrNotFound, ExtractBytes(bytes, "link|a").Error);
    EXPECT_TRUE(X->ArchiveFound());

    // A folder entry that claims data is no header: later, a damaged one.
    TestMember claims = folder("data/", 0);
    claims.Data = "x";
    EXPECT_EQ(ErrBadHeader, ExtractBytes(ArchiveBytes({Stored("a", "1"), claims})).Error);
    EXPECT_TRUE(ExtractBytes(ArchiveBytes({claims, Stored("z", "26")})).Ok);
    EXPECT_EQ("26", ReadBytes(Out("z")));
}

TEST_F(ExtractorTest, NamesThatAreNoFileNameFail) {
    for (const char* name : {"", "dir/", ".."}) {
        TempDir dir;
        WriteBytes(dir.Path("a"), ArchiveBytes({Stored(name, "data")}));
        EXPECT_EQ(ErrCreateFile, Extract(dir.Path("a"), dir.Path("o")).Error) << name;
        EXPECT_EQ(0, CountEntries(dir.Path("o"))) << name;
    }
}

TEST_F(ExtractorTest, ReplacesAnExistingFile) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "new")}));
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    WriteBytes(Out("f"), "a much longer old content");
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    EXPECT_EQ("new", ReadBytes(Out("f")));
}

// A reinstall that fails or is cancelled keeps what was installed: a member
// is written under a temporary name and takes its target's place only once
// it is complete.
TEST_F(ExtractorTest, AMemberThatFailsKeepsTheFileItWouldReplace) {
    std::string damaged = ArchiveBytes({Stored("a", "new a"), Stored("b", Pattern(40000, 2))});
    damaged[damaged.size() - 100] ^= 0x10;
    TestMember lh1 = Stored("b", "whatever");
    lh1.Method = "-lh1-";
    const std::string unsupported = ArchiveBytes({Stored("a", "new a"), lh1});
    for (const std::string& bytes : {damaged, unsupported}) {
        TempDir dir;
        WriteBytes(dir.Path("old.lzh"), ArchiveBytes({Stored("a", "old a"), Stored("b", "old b")}));
        ASSERT_TRUE(Extract(dir.Path("old.lzh"), dir.Path("o")).Ok);
        WriteBytes(dir.Path("a.lzh"), bytes);
        const Outcome r = Extract(dir.Path("a.lzh"), dir.Path("o"));
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ("new a", ReadBytes(dir.Path("o/a")));
        EXPECT_EQ("old b", ReadBytes(dir.Path("o/b")));
        EXPECT_EQ(2, CountEntries(dir.Path("o"))) << "no temporary file stays";
    }

    // Cancelled in the middle of the member.
    const std::string archive = Archive(ArchiveBytes({Stored("b", Pattern(40000, 3))}));
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    WriteBytes(Out("b"), "old b");
    ASSERT_TRUE(X->Begin(EnginePath(archive).c_str(), EnginePath(Out()).c_str(), nullptr));
    bool done = false;
    ASSERT_TRUE(X->Step(done));
    X->Abort();
    EXPECT_EQ("old b", ReadBytes(Out("b")));
    EXPECT_EQ(1, CountEntries(Out()));
}

// The temporary file takes no existing file's place, whatever its name.
TEST_F(ExtractorTest, TheTemporaryNameNeverTakesAnotherFile) {
    // A file left with the first temporary name stays as it is; members of
    // the temporary names extract under their own names.
    ASSERT_TRUE(Extract(Archive(ArchiveBytes({Stored("x", "x")})), Out()).Ok);
    WriteBytes(Out(TempName(0)), "left by a crash");
    const Outcome r = ExtractBytes(ArchiveBytes(
        {Stored(TempName(1), "first"), Stored("a", "a"), Stored(TempName(0), "last")}));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ("first", ReadBytes(Out(TempName(1))));
    EXPECT_EQ("last", ReadBytes(Out(TempName(0))));
    EXPECT_EQ(4, CountEntries(Out()));

    // A folder that leaves room for 2 bytes of name: the temporary name is
    // as short, and the path limit holds.
    std::string deep = Dir.Path("d");
    deep += std::string(257 - 1 - EnginePath(deep).size(), 'd');
    ASSERT_EQ(256u, EnginePath(deep).size());
    const std::string bytes = ArchiveBytes({Stored("ab", "two"), Stored("c", "one")});
    ASSERT_TRUE(Extract(Archive(bytes), deep).Ok);
    EXPECT_EQ("two", ReadBytes(deep + "/ab"));
    EXPECT_EQ("one", ReadBytes(deep + "/c"));
    ASSERT_TRUE(Extract(Archive(bytes), deep).Ok) << "over the files of the first time";
    EXPECT_EQ(2, CountEntries(deep));

    // Room for 1 byte, and every name of 1 byte taken: the member is refused
    // and the file whose name was tried last stays with the others.
    const std::string full = deep + "d";
    const std::string names = "0123456789abcdefghijklmnopqrstuvwxyz";
    MakeFolder(full);
    for (char c : names)
        WriteBytes(full + "/" + c, std::string(1, c));
    const Outcome refused = Extract(Archive(ArchiveBytes({Stored("b", "new")})), full);
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(ErrCreateFile, refused.Error);
    for (char c : names)
        EXPECT_EQ(std::string(1, c), ReadBytes(full + "/" + c)) << c;
}

// A job killed between keeping a member's file and moving it over its target
// leaves that file under the name of its own index; the next job in the
// folder removes it. Nothing else goes or changes, whatever its name: a
// number that is not the file's own, the name in capitals, a read-only
// file, a folder, the names of an earlier engine.
TEST_F(ExtractorTest, WhatKilledJobsLeftGoesAndNothingElse) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "new")}));
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    std::vector<std::string> leftovers, others;
    // A file made and then named by its own index, or by a number far from
    // it (files made one after another may get neighbouring indexes).
    auto named = [&](const std::string& data, const char* form, bool own) {
        WriteBytes(Out("made"), data);
        const unsigned long long index = FileIndex(Out("made"));
        const std::string name = TempName(own ? index : index ^ 0x5A5A5A5A5A5AULL, form);
        EXPECT_EQ(0, std::rename(Out("made").c_str(), Out(name).c_str())) << name;
        return name;
    };
    for (int i = 0; i < 3; ++i)
        leftovers.push_back(named(Pattern(1000, i), "~qm%016llx.tmp", true));
    others.push_back(named("not its own number", "~qm%016llx.tmp", false));
    others.push_back(named("capitals", "~QM%016llX.TMP", true));
    others.push_back(named("read-only", "~qm%016llx.tmp", true));
    SetReadOnly(Out(others.back()), true);
    others.push_back(named("an earlier engine's", "~qm0000.tmp", true));
    MakeFolder(Out("folder"));
    others.push_back(TempName(FileIndex(Out("folder"))));
    std::rename(Out("folder").c_str(), Out(others.back()).c_str());

    ASSERT_TRUE(Extract(archive, Out()).Ok);
    for (const std::string& name : leftovers)
        EXPECT_FALSE(FileExists(Out(name))) << name;
    EXPECT_EQ("not its own number", ReadBytes(Out(others[0])));
    EXPECT_EQ("capitals", ReadBytes(Out(others[1])));
    EXPECT_EQ("read-only", ReadBytes(Out(others[2])));
    EXPECT_TRUE(IsReadOnly(Out(others[2])));
    EXPECT_EQ("an earlier engine's", ReadBytes(Out(others[3])));
    EXPECT_TRUE(FolderExists(Out(others[4])));
    EXPECT_EQ(1 + static_cast<int>(others.size()), CountEntries(Out()));
    SetReadOnly(Out(others[2]), false);
}

// However many files of names like its own a folder holds, a job finds a
// free name: here the first 2,000 of its own form and the 1,000 names that
// an earlier engine tried.
TEST_F(ExtractorTest, NoNumberOfFilesLeftBehindMakesAJobFail) {
    const std::string archive = Archive(ArchiveBytes({Stored("f", "data")}));
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    for (int i = 0; i < 2000; ++i)
        WriteBytes(Out(TempName(i)), "");
    for (int i = 0; i < 1000; ++i)
        WriteBytes(Out(TempName(i, "~qm%04llx.tmp")), "");
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    EXPECT_EQ("data", ReadBytes(Out("f")));
    EXPECT_EQ(3001, CountEntries(Out()));
}

// Files copied from a CD keep the read-only attribute, and a reinstall
// replaces them. The attribute goes only once the new version has passed its
// CRC: a member that fails leaves its old file as it was, read-only. A
// read-only file that may not be replaced (the archive being read, held open
// without shared deletion) is refused at the member's start, as a writable
// one is.
TEST_F(ExtractorTest, AReadOnlyFileIsReplacedOnceItsNewVersionIsComplete) {
    std::string damaged = ArchiveBytes({Stored("a", "new a"), Stored("b", Pattern(20000, 1))});
    damaged[damaged.size() - 100] ^= 0x10;
    const std::string good = ArchiveBytes({Stored("a", "new a"), Stored("b", "new b")});
    ASSERT_TRUE(ExtractBytes(ArchiveBytes({Stored("a", "old a"), Stored("b", "old b")})).Ok);
    SetReadOnly(Out("a"), true);
    SetReadOnly(Out("b"), true);

    EXPECT_EQ(ErrCrc, ExtractBytes(damaged).Error);
    EXPECT_EQ("new a", ReadBytes(Out("a")));
    EXPECT_FALSE(IsReadOnly(Out("a")));
    EXPECT_EQ("old b", ReadBytes(Out("b")));
    EXPECT_TRUE(IsReadOnly(Out("b")));

    const Outcome r = ExtractBytes(good);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ("new b", ReadBytes(Out("b")));
    EXPECT_FALSE(IsReadOnly(Out("b")));
    EXPECT_EQ(2, CountEntries(Out()));

    const std::string self = ArchiveBytes({Stored("first", "1"), Stored("archive.bin", "no")});
    const std::string archive = Archive(self);
    SetReadOnly(archive, true);
    EXPECT_EQ(ErrCreateFile, Extract(archive, Dir.Path()).Error);
    EXPECT_EQ(self, ReadBytes(archive));
    EXPECT_TRUE(IsReadOnly(archive));
    SetReadOnly(archive, false);
}

#ifndef _WIN32
// Recorded calls of a job that replaces one file and makes another: every
// member's file is flushed to the disk after its last write and before it is
// closed, closed before it is moved, and moved over its target write-through
// (the folder is synced after the rename), from the name of its own index.
TEST_F(ExtractorTest, AMemberIsOnTheDiskBeforeItTakesItsPlace) {
    const std::string archive =
        Archive(ArchiveBytes({Stored("replaced", Pattern(40000, 1)), Stored("made", "m")}));
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    std::remove(Out("made").c_str());
    StandInRecord(true);
    ASSERT_TRUE(Extract(archive, Out()).Ok);
    StandInRecord(false);
    std::vector<std::string> calls;
    for (int i = 0; StandInRecorded(i) != nullptr; ++i)
        calls.push_back(StandInRecorded(i));
    for (const std::string member : {"replaced", "made"}) {
        size_t move = 0;
        std::string temp;
        for (size_t i = 0; i < calls.size(); ++i) {
            const size_t space = calls[i].find(' ', 12);
            if (calls[i].compare(0, 12, "MoveFileExA ") == 0 && space != std::string::npos &&
                calls[i].substr(space) == " " + member + " write-through") {
                move = i;
                temp = calls[i].substr(12, space - 12);
            }
        }
        ASSERT_FALSE(temp.empty()) << member << ": no write-through move";
        EXPECT_EQ(TempName(FileIndex(Out(member))), temp) << "named by its own index";
        auto last = [&](const std::string& call) {
            size_t at = calls.size();
            for (size_t i = 0; i < move; ++i)
                if (calls[i] == call + " " + temp)
                    at = i;
            return at;
        };
        EXPECT_LT(last("WriteFile"), last("FlushFileBuffers")) << member;
        EXPECT_LT(last("FlushFileBuffers"), last("CloseHandle")) << member;
        EXPECT_LT(last("CloseHandle"), move) << member;
    }
}

// A flush or a close that fails is a failed write, a move that fails a file
// that cannot be replaced: the member's file goes, and the file it would
// have replaced stays as it was, read-only as it was.
TEST_F(ExtractorTest, AFailedFlushCloseOrMoveLeavesTheTargetAsItWas) {
    const struct {
        const char* Call;
        int Error;
    } failures[] = {{"FlushFileBuffers", ErrFileAccess},
                    {"CloseHandle", ErrFileAccess},
                    {"MoveFileExA", ErrCreateFile}};
    for (const auto& failure : failures) {
        TempDir dir;
        WriteBytes(dir.Path("old.lzh"), ArchiveBytes({Stored("a", "old a")}));
        ASSERT_TRUE(Extract(dir.Path("old.lzh"), dir.Path("o")).Ok);
        SetReadOnly(dir.Path("o/a"), true);
        WriteBytes(dir.Path("new.lzh"), ArchiveBytes({Stored("a", Pattern(30000, 4))}));
        ASSERT_TRUE(X->Begin(EnginePath(dir.Path("new.lzh")).c_str(),
                             EnginePath(dir.Path("o")).c_str(), nullptr));
        StandInFailNext(failure.Call);
        bool done = false;
        bool ok = true;
        while (ok && !done)
            ok = X->Step(done);
        StandInFailNext(nullptr);
        EXPECT_FALSE(ok) << failure.Call;
        EXPECT_EQ(failure.Error, X->ErrorCode) << failure.Call;
        EXPECT_EQ("old a", ReadBytes(dir.Path("o/a"))) << failure.Call;
        EXPECT_TRUE(IsReadOnly(dir.Path("o/a"))) << failure.Call;
        EXPECT_EQ(1, CountEntries(dir.Path("o"))) << failure.Call << ": no temporary file stays";
        SetReadOnly(dir.Path("o/a"), false);
    }
}
#endif

// The file being read is never written: a member named like the archive,
// extracted beside it, cannot be created, and the archive stays intact.
TEST_F(ExtractorTest, TheArchiveBeingReadIsNeverWritten) {
    const std::string bytes =
        ArchiveBytes({Stored("first", "1"), Stored("archive.bin", "not the archive")});
    const std::string archive = Archive(bytes);
    const Outcome r = Extract(archive, Dir.Path());
    EXPECT_EQ(ErrCreateFile, r.Error);
    EXPECT_EQ(bytes, ReadBytes(archive));
    EXPECT_EQ("1", ReadBytes(Dir.Path("first")));
    EXPECT_EQ(2, CountEntries(Dir.Path()));
}

// Windows takes these names for devices in every folder: the data would go
// to the device, and a program could never open the file.
TEST(DeviceNames, WithAnyCaseExtensionAndTrailingDotsOrSpaces) {
    for (const char* name : {
             "CON",        "PRN",     "AUX",      "NUL",     "COM1",      "COM9",
             "LPT1",       "LPT9",    "CONIN$",   "CONOUT$", "nul",       "Nul.txt",
             "nul.tar.gz", "con.",    "AUX..",    "prn ",    "com1 .log", "lpt5. ",
             "conout$.x",  "NUL\x81", "com1\x9F", "aux \x81"}) // Windows drops a lead byte at the
                                                               // end
        EXPECT_TRUE(CExtractorLZH::IsDeviceName(name)) << name;
    for (const char* name :
         {"", ".", "COM0", "COM10", "LPT", "COMA", "NULL", "nul_", "xnul", " nul", "CONIN", "CON$",
          "~qm0000.tmp", "\x83\x4E", "nul\x81\x40", "\x81", "nu\x81"})
        EXPECT_FALSE(CExtractorLZH::IsDeviceName(name)) << name;
}

TEST_F(ExtractorTest, DeviceNamesAreNeverOpened) {
    for (const char* name : {"NUL", "nul.txt", "Com1", "CON.", "aux ", "CONOUT$"}) {
        TempDir dir;
        WriteBytes(dir.Path("a"), ArchiveBytes({Stored("before", "b"), Stored(name, "data")}));
        EXPECT_EQ(ErrCreateFile, Extract(dir.Path("a"), dir.Path("o")).Error) << name;
        EXPECT_EQ(1, CountEntries(dir.Path("o"))) << name;
    }
}

TEST_F(ExtractorTest, UnsupportedMethodLeavesNoFile) {
    TestMember lh1 = Stored("b", "whatever");
    lh1.Method = "-lh1-";
    const Outcome r = ExtractBytes(ArchiveBytes({Stored("a", "kept"), lh1, Stored("c", "c")}));
    EXPECT_EQ(ErrMethod, r.Error);
    EXPECT_EQ("kept", ReadBytes(Out("a")));
    EXPECT_FALSE(FileExists(Out("b")));
    EXPECT_FALSE(FileExists(Out("c")));

    // As the first member, Begin already refuses it.
    ASSERT_FALSE(X->Begin(EnginePath(Archive(ArchiveBytes({lh1}))).c_str(),
                          EnginePath(Dir.Path("o2")).c_str(), nullptr));
    EXPECT_EQ(ErrMethod, X->ErrorCode);
    EXPECT_EQ(0, CountEntries(Dir.Path("o2")));
}

TEST_F(ExtractorTest, DamagedDataFailsItsCrcAndLeavesNoFile) {
    std::string bytes = ArchiveBytes(
        {Stored("a", Pattern(20000, 1)), Stored("b", Pattern(40000, 2)), Stored("c", "c")});
    const size_t second = MemberBytes(Stored("a", Pattern(20000, 1))).size();
    bytes[second + MemberHeaderBytes(Stored("b", "")).size() + 30000] ^= 0x10;
    const Outcome r = ExtractBytes(bytes);
    EXPECT_EQ(ErrCrc, r.Error);
    EXPECT_EQ(Pattern(20000, 1), ReadBytes(Out("a")));
    EXPECT_FALSE(FileExists(Out("b")));
    EXPECT_FALSE(FileExists(Out("c")));
}

TEST_F(ExtractorTest, HeadersWithoutAFileCrcSkipTheTest) {
    TestMember m0 = Stored("zero", "no crc here", 0);
    m0.FileCrc = false;
    const Outcome r = ExtractBytes(ArchiveBytes({m0}));
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ("no crc here", ReadBytes(Out("zero")));
}

TEST_F(ExtractorTest, AStoredMemberCutShortFails) {
    // With a CRC in the header, and without one: neither may leave a file
    // that passes for complete.
    for (bool withCrc : {true, false}) {
        TempDir dir;
        TestMember first = Stored("first", "complete", 0);
        TestMember cut = Stored("cut", Pattern(30000, 5), 0);
        cut.FileCrc = withCrc;
        std::string bytes = ArchiveBytes({first, cut}, false);
        bytes.resize(bytes.size() - 100);
        WriteBytes(dir.Path("a"), bytes);
        const Outcome r = Extract(dir.Path("a"), dir.Path("o"));
        EXPECT_EQ(withCrc ? ErrCrc : ErrBadData, r.Error);
        EXPECT_EQ("complete", ReadBytes(dir.Path("o/first")));
        EXPECT_FALSE(FileExists(dir.Path("o/cut")));
    }
}

TEST_F(ExtractorTest, AStoredMemberLargerThanItsPackedDataFails) {
    // The packed size says 10 bytes, the size 20: the copy would take the
    // next header's bytes for data.
    TestMember m = Stored("short", "0123456789", 0);
    m.FileCrc = false;
    std::string header = MemberHeaderBytes(m);
    header[11] = 20; // unpacked size
    ResealSum(header);
    const std::string bytes = header + "0123456789" + MemberBytes(Stored("next", "next"));
    EXPECT_EQ(ErrBadData, ExtractBytes(bytes).Error);
    EXPECT_FALSE(FileExists(Out("short")));
}

TEST_F(ExtractorTest, ADamagedLaterHeaderKeepsTheMembersBefore) {
    std::string bytes = ArchiveBytes({Stored("a", "alpha"), Stored("b", "beta")});
    const size_t second = MemberBytes(Stored("a", "alpha")).size();
    bytes[second + 30] ^= 0x01; // inside the second header, under its CRC
    const Outcome r = ExtractBytes(bytes);
    EXPECT_EQ(ErrBadHeader, r.Error);
    EXPECT_EQ("alpha", ReadBytes(Out("a")));
    EXPECT_EQ(1, CountEntries(Out()));

    // Skipping to a named member over a damaged header fails the same way.
    EXPECT_EQ(ErrBadHeader, ExtractBytes(bytes, "b").Error);
}

// A listing walks the headers alone: every member in order, whatever its
// method or its data, up to the end or to a damaged header.
TEST_F(ExtractorTest, ListsTheHeadersInArchiveOrder) {
    TestMember lh1 = Stored("old method", "not read", 1);
    lh1.Method = "-lh1-";
    TestMember noCrc = Stored("no crc", "zero", 0);
    noCrc.FileCrc = false;
    std::string damaged = Pattern(30000, 4);
    const std::vector<TestMember> members = {Stored("a", "alpha", 0), lh1, noCrc,
                                             Stored("big", damaged, 2)};
    std::string bytes = ArchiveBytes(members);
    bytes[bytes.size() - 1000] ^= 0x55; // the last member's data: no listing reads it
    const std::string archive = Archive(Filler(20000, 8) + bytes);

    ASSERT_TRUE(X->BeginList(EnginePath(archive).c_str()));
    std::vector<MemberHeaderLZH> listed;
    for (bool done = false; !done;) {
        listed.push_back(X->GetHeader());
        ASSERT_TRUE(X->NextHeader(done));
    }
    ASSERT_EQ(members.size(), listed.size());
    for (size_t i = 0; i < members.size(); ++i) {
        EXPECT_STREQ(members[i].Name.c_str(), listed[i].Name);
        EXPECT_EQ(members[i].Level, listed[i].Level);
        EXPECT_EQ(static_cast<int>(members[i].Data.size()), listed[i].UnpackedSize);
        EXPECT_EQ(static_cast<int>(members[i].Data.size()), listed[i].PackedSize);
        EXPECT_EQ(members[i].FileCrc, listed[i].HasFileCrc);
    }
    EXPECT_EQ(1, listed[1].MethodIndex);
    EXPECT_STREQ("-lh1-", CExtractorLZH::MethodName(listed[1].MethodIndex));
    EXPECT_EQ(Crc16(damaged), listed[3].FileCrc);
    EXPECT_FALSE(FolderExists(Out()));

    // A damaged third header: the two before it are listed, then 6.
    std::string bad = ArchiveBytes(members);
    const size_t third = MemberBytes(members[0]).size() + MemberBytes(members[1]).size();
    bad[third + 1] ^= 0x01; // the level-0 byte sum
    ASSERT_TRUE(X->BeginList(EnginePath(Archive(bad)).c_str()));
    bool done = false;
    ASSERT_TRUE(X->NextHeader(done));
    EXPECT_STREQ("old method", X->GetMemberName());
    EXPECT_FALSE(X->NextHeader(done));
    EXPECT_EQ(ErrBadHeader, X->ErrorCode);

    EXPECT_FALSE(X->BeginList(EnginePath(Archive(Filler(5000, 1))).c_str()));
    EXPECT_EQ(ErrNotFound, X->ErrorCode);
    EXPECT_FALSE(X->BeginList(EnginePath(Dir.Path("missing")).c_str()));
    EXPECT_EQ(ErrOpenArchive, X->ErrorCode);
}

// Why a job found nothing: no archive at all (and then whether the file
// holds headers of methods the engine does not read), or no member of the
// name asked for.
TEST_F(ExtractorTest, TellsTheCausesOfNotFound) {
    auto method = [](const char* name, const char* m, int level) {
        TestMember t = Stored(name, "data", level);
        t.Method = m;
        return t;
    };
    std::string damaged = MemberBytes(method("d", "-lh8-", 0));
    damaged[1] ^= 0x01; // its byte sum
    struct Case {
        std::string Bytes;
        const char* Only;
        int Error;
        bool Found;
        const char* Unread;
    } cases[] = {
        {Filler(3000, 1), nullptr, ErrNotFound, false, ""},
        {ArchiveBytes({method("a", "-lh6-", 0)}), nullptr, ErrNotFound, false, "-lh6-"},
        {ArchiveBytes({method("a", "-lh7-", 1), method("b", "-lh6-", 2), method("c", "-lh7-", 0)}),
         nullptr, ErrNotFound, false, "-lh7--lh6-"},
        {Filler(100, 2) + damaged + ArchiveBytes({method("x", "-pm2-", 2)}), nullptr, ErrNotFound,
         false, ""}, // damaged, or of another family: no reason
        {ArchiveBytes({Stored("a", "1"), Stored("b", "2")}), "c", ErrNotFound, true, ""},
        {ArchiveBytes({Stored("a", "1"), method("b", "-lh6-", 2)}), "c", ErrBadHeader, true,
         "-lh6-"},
        {ArchiveBytes({Stored("a", "1"), method("b", "-lh6-", 0)}), nullptr, ErrBadHeader, true,
         "-lh6-"},
        {ArchiveBytes({Stored("a", "1")}, false) + damaged, nullptr, ErrBadHeader, true, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir.Path("a"), c.Bytes);
        const Outcome r = Extract(dir.Path("a"), dir.Path("o"), c.Only);
        EXPECT_EQ(c.Error, r.Error) << c.Unread;
        EXPECT_EQ(c.Found, X->ArchiveFound()) << c.Unread;
        EXPECT_STREQ(c.Unread, X->GetUnreadMethods());
    }
    // Only the first four methods are kept.
    std::vector<TestMember> many;
    for (const char* m : {"-lh6-", "-lh7-", "-lh8-", "-lh9-", "-lhx-", "-lh6-"})
        many.push_back(method("m", m, 2));
    EXPECT_EQ(ErrNotFound, ExtractBytes(ArchiveBytes(many)).Error);
    EXPECT_STREQ("-lh6--lh7--lh8--lh9-", X->GetUnreadMethods());
    EXPECT_EQ(ErrNotFound, ExtractBytes(ArchiveBytes({method("a", "-lhx-", 1)})).Error);
    EXPECT_STREQ("-lhx-", X->GetUnreadMethods());
}

// A job without a destination decodes and checks every wanted member and
// writes nothing; a member that fails in its data or by its method ends only
// itself, a damaged header ends the job.
TEST_F(ExtractorTest, AJobWithoutADestinationChecksEveryMemberAndWritesNothing) {
    const std::string text = Pattern(70000, 5);
    const std::vector<uint8_t> coded =
        EncodeLH5(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    TestMember lh5 = Stored("lh5", text);
    lh5.Method = "-lh5-";
    lh5.Packed.assign(coded.begin(), coded.end());
    lh5.UsePacked = true;
    TestMember badLh5 = lh5;
    badLh5.Name = "bad lh5";
    badLh5.Packed[badLh5.Packed.size() / 2] ^= 0x20;
    TestMember lh1 = Stored("lh1", "old", 1);
    lh1.Method = "-lh1-";
    TestMember badStored = Stored("bad stored", Pattern(40000, 6), 0);
    TestMember folder = Stored("dir/", "", 2);
    folder.Method = "-lhd-";
    std::string bytes = ArchiveBytes(
        {Stored("first", "1"), lh5, badLh5, folder, lh1, badStored, Stored("last", "z")});
    const size_t stored = bytes.size() - MemberBytes(Stored("last", "z")).size() - 1 - 1000;
    bytes[stored] ^= 0x01; // in the bad stored member's data
    const std::string archive = Archive(bytes);

    struct Result {
        std::string Name;
        int Number;
        int Error;
    };
    std::vector<Result> results;
    bool done = false;
    bool ok = X->Begin(EnginePath(archive).c_str(), nullptr, nullptr);
    for (int calls = 0; calls < 200000; ++calls) {
        if (ok && done)
            break;
        if (!ok) {
            results.push_back({X->GetMemberName(), X->GetMemberNumber(), X->ErrorCode});
            if (!X->CanSkipMember())
                break;
            ok = X->SkipMember(done);
            EXPECT_FALSE(X->CanSkipMember());
            continue;
        }
        ok = X->Step(done);
    }
    ASSERT_TRUE(ok && done);
    ASSERT_EQ(3u, results.size());
    EXPECT_EQ("bad lh5", results[0].Name);
    EXPECT_EQ(3, results[0].Number);
    EXPECT_TRUE(results[0].Error == ErrBadData || results[0].Error == ErrCrc) << results[0].Error;
    EXPECT_EQ("lh1", results[1].Name);
    EXPECT_EQ(5, results[1].Number); // the folder entry is the fourth
    EXPECT_EQ(ErrMethod, results[1].Error);
    EXPECT_EQ("bad stored", results[2].Name);
    EXPECT_EQ(ErrCrc, results[2].Error);
    EXPECT_EQ(7, X->GetMemberNumber());
    EXPECT_EQ(1, CountEntries(Dir.Path())); // the archive alone
    EXPECT_FALSE(X->SkipMember(done));      // nothing to skip now

    // One member: its failure ends the job once skipped.
    ASSERT_FALSE(X->Begin(EnginePath(archive).c_str(), nullptr, "LH1"));
    EXPECT_EQ(ErrMethod, X->ErrorCode);
    EXPECT_TRUE(X->CanSkipMember());
    ASSERT_TRUE(X->SkipMember(done));
    EXPECT_TRUE(done);

    // A damaged header after a member that passed ends the job.
    std::string damaged = ArchiveBytes({Stored("a", "1"), Stored("b", "2")});
    damaged[MemberBytes(Stored("a", "1")).size() + 30] ^= 0x01;
    ASSERT_TRUE(X->Begin(EnginePath(Archive(damaged)).c_str(), nullptr, nullptr));
    EXPECT_FALSE(X->Step(done));
    EXPECT_EQ(ErrBadHeader, X->ErrorCode);
    EXPECT_FALSE(X->CanSkipMember());
    EXPECT_EQ(1, X->GetMemberNumber());

    // Abort while a member waits to be skipped: the next job starts afresh.
    ASSERT_FALSE(X->Begin(EnginePath(archive).c_str(), nullptr, "lh1"));
    X->Abort();
    EXPECT_FALSE(X->CanSkipMember());
    EXPECT_TRUE(ExtractBytes(ArchiveBytes({Stored("x", "x")})).Ok);
    EXPECT_EQ("x", ReadBytes(Out("x")));
}

TEST_F(ExtractorTest, AnArchiveWithoutEndMarkerEndsAfterItsLastMember) {
    const Outcome r = ExtractBytes(ArchiveBytes({Stored("a", "1"), Stored("b", "22")}, false));
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ("22", ReadBytes(Out("b")));
}

TEST_F(ExtractorTest, AbortDeletesOnlyTheMemberBeingWritten) {
    const std::string big = Pattern(50000, 7);
    ASSERT_TRUE(X->Begin(EnginePath(Archive(ArchiveBytes({Stored("1", "one"), Stored("2", big),
                                                          Stored("3", big), Stored("4", "four")})))
                             .c_str(),
                         EnginePath(Out()).c_str(), nullptr));
    bool done = false;
    ASSERT_TRUE(X->Step(done)); // the first member, and the second opened
    ASSERT_TRUE(X->Step(done)); // part of the second
    ASSERT_STREQ("2", X->GetMemberName());
    X->Abort();
    EXPECT_EQ("one", ReadBytes(Out("1")));
    EXPECT_FALSE(FileExists(Out("2")));
    EXPECT_EQ(1, CountEntries(Out()));

    // A finished job: Abort touches nothing, and the next job starts afresh.
    X->Abort();
    EXPECT_TRUE(FileExists(Out("1")));
    ASSERT_TRUE(ExtractBytes(ArchiveBytes({Stored("5", "five")})).Ok);
    X->Abort();
    EXPECT_EQ("five", ReadBytes(Out("5")));
}

TEST_F(ExtractorTest, BeginDuringAJobEndsItAsCancelled) {
    const std::string archive = Archive(ArchiveBytes({Stored("big", Pattern(40000, 3))}));
    ASSERT_TRUE(X->Begin(EnginePath(archive).c_str(), EnginePath(Out()).c_str(), nullptr));
    bool done = false;
    ASSERT_TRUE(X->Step(done));
    ASSERT_TRUE(
        X->Begin(EnginePath(archive).c_str(), EnginePath(Dir.Path("second")).c_str(), nullptr));
    EXPECT_FALSE(FileExists(Out("big"))); // the unfinished file of the first job
    while (!done)
        ASSERT_TRUE(X->Step(done));
    EXPECT_EQ(Pattern(40000, 3), ReadBytes(Dir.Path("second/big")));
}

TEST_F(ExtractorTest, PathsThatDoNotFitAreRefused) {
    // The folder, its closing backslash and the name make 260 bytes: one
    // too many. One byte less fits.
    const std::string name(259 - EnginePath(Out()).size(), 'n');
    EXPECT_EQ(ErrCreateFile, ExtractBytes(ArchiveBytes({Stored(name, "x")})).Error);
    EXPECT_EQ(0, CountEntries(Out()));
    const std::string fits = name.substr(1);
    ASSERT_NE(0u, MemberHeaderBytes(Stored(fits, "x")).size() % 256);
    ASSERT_EQ(ErrNone, ExtractBytes(ArchiveBytes({Stored(fits, "x")})).Error);
    EXPECT_EQ("x", ReadBytes(Out(fits)));

    EXPECT_EQ(
        ErrCreateFolder,
        Extract(Archive(ArchiveBytes({Stored("f", "x")})), Dir.Path(std::string(300, 'd'))).Error);
}

TEST_F(ExtractorTest, HostileSizesDoNotLoopOrReachBack) {
    // A packed size that reads as negative would move the next header back
    // onto this one: such a header is no header.
    TestMember m = Stored("loop", "x", 0);
    std::string h = MemberHeaderBytes(m);
    const int back = -static_cast<int>(h.size());
    for (int i = 0; i < 4; ++i)
        h[7 + i] = static_cast<char>((static_cast<unsigned>(back) >> (8 * i)) & 0xFF);
    ResealSum(h);
    EXPECT_EQ(ErrNotFound, ExtractBytes(h + "x").Error);
    EXPECT_EQ(ErrBadHeader, ExtractBytes(MemberBytes(Stored("first", "1")) + h + "x").Error);
    EXPECT_EQ("1", ReadBytes(Out("first")));
}

TEST_F(ExtractorTest, Level2TimeIsSetAsStoredInAnyZone) {
    const uint32_t stored = 981475132; // 2001-02-06 16:38:52 UTC
    for (const char* zone :
#ifdef _WIN32
         {"JST-9", "UTC0"}
#else
         {"Asia/Tokyo", "UTC"}
#endif
    ) {
        UseTimeZone(zone);
        TestMember m = Stored("t", "time");
        m.Time = stored;
        TempDir dir;
        WriteBytes(dir.Path("a"), ArchiveBytes({m}));
        ASSERT_TRUE(Extract(dir.Path("a"), dir.Path("o")).Ok);
        EXPECT_EQ(static_cast<long long>(stored), ModifiedTime(dir.Path("o/t"))) << zone;
    }
    UseTimeZone(
#ifdef _WIN32
        "UTC0"
#else
        "UTC"
#endif
    );
}

TEST_F(ExtractorTest, Level0TimeIsLocalTime) {
    TestMember m = Stored("t", "time", 0);
    m.DosDate = DosDate(2009, 7, 15);
    m.DosTime = DosTime(13, 45, 58);
    ASSERT_TRUE(ExtractBytes(ArchiveBytes({m})).Ok);
    const std::time_t t = ModifiedTime(Out("t"));
    const std::tm* local = std::localtime(&t);
    ASSERT_NE(nullptr, local);
    EXPECT_EQ(109, local->tm_year);
    EXPECT_EQ(6, local->tm_mon);
    EXPECT_EQ(15, local->tm_mday);
    EXPECT_EQ(13, local->tm_hour);
    EXPECT_EQ(45, local->tm_min);
    EXPECT_EQ(58, local->tm_sec);
}

TEST_F(ExtractorTest, AnEmptyMemberIsCreatedWithItsTime) {
    TestMember m = Stored("empty", "");
    m.Time = 1234567890;
    const Outcome r = ExtractBytes(ArchiveBytes({m}));
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(1, r.Steps);
    EXPECT_EQ(0u, ReadBytes(Out("empty")).size());
    EXPECT_EQ(1234567890, ModifiedTime(Out("empty")));
}

} // namespace
