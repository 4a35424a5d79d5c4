// Temporary folders and files for the tests, on Linux and under Windows.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder itself, or a path below it, with the host's separators.
    std::string Path(const std::string& relative = "") const;

  private:
    std::string Root;
};

// The engine takes Windows paths in code page 932: off Windows, UTF-8 becomes
// code page 932 and slashes become backslashes (its stand-in turns both
// back).
std::string EnginePath(const std::string& hostPath);
// A name in code page 932 as the host names files: itself on Windows, UTF-8
// elsewhere.
std::string HostName(const std::string& codePage932);

void WriteBytes(const std::string& hostPath, const std::string& bytes);
void MakeFolder(const std::string& hostPath);
// A file of `size` bytes, zeros but for the pieces written at their offsets;
// the zeros are left as holes, so that a file of gigabytes takes no room.
void WriteSparse(const std::string& hostPath, long long size,
                 const std::vector<std::pair<long long, std::string>>& pieces);
std::string ReadBytes(const std::string& hostPath);
bool FileExists(const std::string& hostPath);
bool FolderExists(const std::string& hostPath);
int CountEntries(const std::string& hostFolder);

// Read-only as Windows has it: the attribute there, no write permission at
// all here.
void SetReadOnly(const std::string& hostPath, bool readOnly);
bool IsReadOnly(const std::string& hostPath);
// The index that names the file within its volume (the inode here); 0 when
// the file cannot be examined.
unsigned long long FileIndex(const std::string& hostPath);

// Last-write time in seconds since 1970-01-01 UTC; -1 when unknown.
long long ModifiedTime(const std::string& hostPath);

// Sets the process's time zone for mktime and localtime.
void UseTimeZone(const char* name);
