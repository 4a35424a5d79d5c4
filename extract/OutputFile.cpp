// The member's file on its way to the disk. It is written under a temporary
// name beside its target, set to be deleted by the system when it is closed,
// so that a job that dies leaves nothing behind; once complete and checked it
// is put on the disk, kept, and moved over its target in one step that is on
// the disk when it returns. A power cut leaves the target old or new, never
// empty.
//
// Only one moment leaves a named temporary file that the system does not
// remove: after the file is kept and before the move. Its name then carries
// the file's own identity, "~qm", its file index in 16 hexadecimal digits
// and ".tmp", and a later job in the folder removes it after checking that
// identity on the file itself. A file whose name merely looks like that is
// never touched.
#include "ExtractorLZH.h"

#include <cstring>

namespace {

// "~qm", 16 digits, ".tmp".
enum { TempNameLength = 23, TempIndexDigits = 16, TempPrefixLength = 3 };

const char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

void WriteTempName(char* out, unsigned long long number) {
    std::memcpy(out, "~qm", TempPrefixLength);
    for (int i = TempPrefixLength + TempIndexDigits - 1; i >= TempPrefixLength; --i, number >>= 4)
        out[i] = Digits[number & 15];
    std::memcpy(out + TempPrefixLength + TempIndexDigits, ".tmp", 5);
}

// The number in a name of the temporary files' form, which WriteTempName
// writes: lower-case digits only.
bool ReadTempName(const char* name, unsigned long long& number) {
    if (std::strlen(name) != TempNameLength || std::memcmp(name, "~qm", TempPrefixLength) != 0 ||
        std::strcmp(name + TempPrefixLength + TempIndexDigits, ".tmp") != 0)
        return false;
    number = 0;
    for (int i = TempPrefixLength; i < TempPrefixLength + TempIndexDigits; ++i) {
        const char* digit = std::strchr(Digits, name[i]);
        if (name[i] == 0 || digit == nullptr || digit - Digits >= 16)
            return false;
        number = number << 4 | static_cast<unsigned>(digit - Digits);
    }
    return true;
}

// Temporary name number `serial`, in the form of the identity names; where
// the folder leaves fewer bytes than that, the serial alone in as many
// base-36 digits as there is room for (the member's own name fits, so at
// least one). False when the serial does not fit.
bool MakeTempName(char* out, int room, unsigned long long serial) {
    if (room >= TempNameLength) {
        WriteTempName(out, serial);
        return true;
    }
    for (int i = room - 1; i >= 0; --i) {
        out[i] = Digits[serial % 36];
        serial /= 36;
    }
    out[room] = 0;
    return serial == 0;
}

unsigned long long FileIndex(const BY_HANDLE_FILE_INFORMATION& information) {
    return static_cast<unsigned long long>(information.nFileIndexHigh) << 32 |
           information.nFileIndexLow;
}

// After CREATE_NEW failed: something answers to the name.
bool NameIsTaken(const char* path) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// A file left by a job that was killed between keeping a member's file and
// moving it: its name's number is its own index, it is a plain file of one
// name, and nobody writes it or holds it without shared deletion. It is
// removed through the handle that was checked, which may read its
// attributes and delete it, nothing more.
void RemoveIfLeftOver(const char* path, unsigned long long index) {
    const HANDLE file = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information) && FileIndex(information) == index &&
        information.nNumberOfLinks == 1 &&
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
    CloseHandle(file);
}

} // namespace

// A target that exists must open as it would be replaced: not a folder (an
// empty name, ".", ".."), not held open without write sharing (a running
// program, or the very archive being read). A read-only file cannot open for
// writing; it must open for deletion, which nobody may hold without sharing,
// and is made writable only when its new version is complete.
bool CExtractorLZH::TargetCanBeReplaced() const {
    const DWORD attributes = GetFileAttributesA(OutPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true; // a new file; the folder's own refusal shows when it is made
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const DWORD access = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? GENERIC_READ | DELETE
                                                                     : GENERIC_READ | GENERIC_WRITE;
    const HANDLE probe = CreateFileA(OutPath, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(probe);
    return true;
}

// Creates the file the member is written to: a new file in the destination
// folder that fits the path limit, is no device and never has the member's
// own name. A name that is taken is passed over for the next, however many
// there are. The file is then named by its identity and set to be deleted
// when it is closed; where the system cannot do either, the member is still
// written, as a file that a failure deletes by name.
bool CExtractorLZH::CreateTempOutput() {
    const int folderLength = static_cast<int>(std::strlen(Folder));
    const int room = PathSize - 1 - folderLength;
    std::memset(TempPath, 0, sizeof TempPath);
    std::memcpy(TempPath, Folder, static_cast<size_t>(folderLength));
    char* name = TempPath + folderLength;
    for (unsigned long long serial = 0;; ++serial) {
        // No file of ours has the name when none can be created: it is never
        // removed.
        if (!MakeTempName(name, room, serial)) {
            TempPath[0] = 0;
            return false;
        }
        if (_stricmp(name, MemberHeader.Name) == 0 || IsDeviceName(name))
            continue;
        if (Output.CreateTemporary(TempPath))
            break;
        if (!NameIsTaken(TempPath)) {
            TempPath[0] = 0;
            return false; // the folder refuses new files
        }
    }
    NameTempOutputByIdentity(room);
    TempDeletesItself = SetTempDeletion(true);
    return true;
}

// Renamed through its handle, before its deletion is set: a file whose
// deletion is pending may not be renamed.
void CExtractorLZH::NameTempOutputByIdentity(int room) {
    BY_HANDLE_FILE_INFORMATION information;
    if (room < TempNameLength || !GetFileInformationByHandle(Output.FileHandle, &information))
        return;
    char path[PathSize];
    const size_t folderLength = std::strlen(Folder);
    std::memcpy(path, Folder, folderLength);
    WriteTempName(path + folderLength, FileIndex(information)); // room checked above
    if (std::strcmp(path, TempPath) == 0)
        return;
    union {
        FILE_RENAME_INFO Info;
        unsigned char Bytes[sizeof(FILE_RENAME_INFO) + PathSize * sizeof(WCHAR)];
    } rename;
    std::memset(&rename, 0, sizeof rename);
    const int count =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, rename.Info.FileName, PathSize);
    if (count <= 0)
        return;
    rename.Info.ReplaceIfExists = FALSE;
    rename.Info.RootDirectory = nullptr;
    rename.Info.FileNameLength = static_cast<DWORD>((count - 1) * sizeof(WCHAR));
    if (SetFileInformationByHandle(Output.FileHandle, FileRenameInfo, &rename, sizeof rename))
        std::strcpy(TempPath, path);
}

bool CExtractorLZH::SetTempDeletion(bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return SetFileInformationByHandle(Output.FileHandle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

// The member's data are complete and checked, its times set. They reach the
// disk before the file is kept and closed; a failure there is the failure of
// a write (the file goes). Then a read-only target is made writable, and the
// file moves over it; a move that fails leaves the target as it was.
bool CExtractorLZH::PutOutputInPlace() {
    if (!Output.Commit() || (TempDeletesItself && !SetTempDeletion(false)))
        return Fail(ErrFileAccess);
    TempDeletesItself = false;
    if (!Output.Close())
        return Fail(ErrFileAccess);
    const DWORD attributes = GetFileAttributesA(OutPath);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (readOnly) {
        const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesA(OutPath, writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    if (!MoveFileExA(TempPath, OutPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (readOnly)
            SetFileAttributesA(OutPath, attributes);
        return Fail(ErrCreateFile);
    }
    TempPath[0] = 0;
    return true;
}

// The member in progress goes, if there is one: the system deletes its file
// as it is closed, or, where its deletion could not be set or has been taken
// back, it is deleted by name.
void CExtractorLZH::DiscardTempOutput() {
    Output.Close();
    if (TempPath[0] != 0 && !TempDeletesItself)
        _unlink(TempPath);
    TempPath[0] = 0;
}

// What jobs that were killed left in the folder, recognised by the identity
// in their names.
void CExtractorLZH::RemoveStaleTempFiles() {
    const size_t folderLength = std::strlen(Folder);
    if (folderLength + TempNameLength >= PathSize)
        return;
    char path[PathSize];
    std::memcpy(path, Folder, folderLength);
    std::strcpy(path + folderLength, "~qm*.tmp");
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        unsigned long long index = 0;
        if (!ReadTempName(found.cFileName, index))
            continue;
        std::strcpy(path + folderLength, found.cFileName);
        RemoveIfLeftOver(path, index);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
