// shortcut_link: reads the shell links that the setup writes, straight from
// the bytes of the .lnk file, so that a test sees what a link really holds
// rather than what the shell's own link object makes of it.
//
//   shortcut_link folder programs|desktop   the folder's path
//   shortcut_link read FILE                 the link's fields, one per line
//
// Output is UTF-8. "read" prints, for a well-formed link:
//   flags=0x...        the header's link flags
//   show=N hotkey=N    the header's show command and hot key
//   target=PATH        the local base path of the link information followed
//                      by its common path suffix
//   drive-type=N       the type of the volume that the target is on
//   description=TEXT   and, when present, relative=, workdir=, arguments=,
//                      icon= for the other strings
// and fails (exit 1, with the reason) on anything that breaks the format:
// a wrong header size or class id, a structure that runs past its parent or
// past the file's end, item lists whose sizes do not add up.
//
// The layout read here: a 76-byte header (size, class id
// 00021401-0000-0000-C000-000000000046, flags, attributes, three times, file
// size, icon index, show command, hot key); then, as the flags say, the
// target's item list (a 16-bit size and items that each start with their
// own 16-bit size, ended by a zero), the link information (its size, header
// size, flags, the offsets of the volume, the local base path, the network
// part and the common path suffix, and with a header of 0x24 bytes or more
// the offsets of their UTF-16 forms), and the strings (a 16-bit count of
// characters, then UTF-16 characters if the link is flagged Unicode, else
// bytes of the system code page) in the order name, relative path, working
// folder, arguments, icon location.
#include "RobotText.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD HeaderSize = 0x4C;
const unsigned char LinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

enum LinkFlag : DWORD {
    HasTargetIdList = 0x1,
    HasLinkInfo = 0x2,
    HasName = 0x4,
    HasRelativePath = 0x8,
    HasWorkingDir = 0x10,
    HasArguments = 0x20,
    HasIconLocation = 0x40,
    IsUnicode = 0x80,
};

const DWORD VolumeIdAndLocalBasePath = 0x1;

[[noreturn]] void Fail(const std::string& message) {
    std::printf("shortcut_link: %s\n", message.c_str());
    std::exit(1);
}

std::string Utf8(const std::wstring& wide) {
    return NarrowText(CP_UTF8, wide);
}

std::wstring FromAnsi(const std::string& text) {
    return WideText(CP_ACP, text);
}

void PrintField(const char* name, const std::wstring& value) {
    std::printf("%s=%s\n", name, Utf8(value).c_str());
}

// ---------------------------------------------------------------------------
// Bounded reads

struct Bytes {
    std::string Data;
};

void Need(const Bytes& file, size_t offset, size_t count, const char* what) {
    if (offset > file.Data.size() || count > file.Data.size() - offset)
        Fail(std::string(what) + " runs past the end of the file");
}

unsigned U16(const Bytes& file, size_t offset, const char* what) {
    Need(file, offset, 2, what);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(file.Data.data()) + offset;
    return p[0] | (p[1] << 8);
}

DWORD U32(const Bytes& file, size_t offset, const char* what) {
    Need(file, offset, 4, what);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(file.Data.data()) + offset;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// A NUL-terminated byte string that must end before `end`.
std::string AnsiZ(const Bytes& file, size_t offset, size_t end, const char* what) {
    std::string text;
    for (size_t i = offset;; ++i) {
        if (i >= end)
            Fail(std::string(what) + " is not terminated within the link information");
        char c = file.Data[i];
        if (c == 0)
            return text;
        text += c;
    }
}

std::wstring WideZ(const Bytes& file, size_t offset, size_t end, const char* what) {
    std::wstring text;
    for (size_t i = offset;; i += 2) {
        if (i + 2 > end)
            Fail(std::string(what) + " is not terminated within the link information");
        wchar_t c = static_cast<wchar_t>(U16(file, i, what));
        if (c == 0)
            return text;
        text += c;
    }
}

// ---------------------------------------------------------------------------
// The parts of a link

void ReadHeader(const Bytes& file, DWORD& flags) {
    if (U32(file, 0, "the header") != HeaderSize)
        Fail("the header size is not 0x4C");
    Need(file, 0, HeaderSize, "the header");
    if (std::memcmp(file.Data.data() + 4, LinkClassId, sizeof LinkClassId) != 0)
        Fail("the class id is not that of a shell link");
    flags = U32(file, 0x14, "the link flags");
    std::printf("flags=0x%lX\nshow=%lu\nhotkey=%u\n", flags, U32(file, 0x3C, "the show command"),
                U16(file, 0x40, "the hot key"));
}

size_t SkipIdList(const Bytes& file, size_t offset) {
    unsigned listSize = U16(file, offset, "the item list size");
    size_t end = offset + 2 + listSize;
    Need(file, offset + 2, listSize, "the item list");
    size_t item = offset + 2;
    for (;;) {
        unsigned itemSize = U16(file, item, "an item of the item list");
        if (itemSize == 0)
            break;
        if (itemSize < 2)
            Fail("an item of the item list is shorter than its own size field");
        item += itemSize;
        if (item + 2 > end)
            Fail("the items of the item list run past its size");
    }
    if (item + 2 != end)
        Fail("the item list ends before its size says");
    return end;
}

size_t ReadLinkInfo(const Bytes& file, size_t offset) {
    DWORD size = U32(file, offset, "the link information");
    Need(file, offset, size, "the link information");
    size_t end = offset + size;
    DWORD headerSize = U32(file, offset + 4, "the link information header");
    if (headerSize < 0x1C || headerSize > size)
        Fail("the link information header has a wrong size");
    DWORD infoFlags = U32(file, offset + 8, "the link information flags");
    if ((infoFlags & VolumeIdAndLocalBasePath) == 0) {
        std::printf("target=\n");
        return end;
    }
    DWORD volume = U32(file, offset + 12, "the volume offset");
    DWORD basePath = U32(file, offset + 16, "the local base path offset");
    DWORD suffix = U32(file, offset + 24, "the common path suffix offset");
    if (volume >= size || basePath >= size || suffix >= size)
        Fail("an offset of the link information points past its end");
    std::printf("drive-type=%lu\n", U32(file, offset + volume + 4, "the volume's drive type"));
    std::wstring target;
    if (headerSize >= 0x24) {
        DWORD basePathWide = U32(file, offset + 28, "the UTF-16 local base path offset");
        DWORD suffixWide = U32(file, offset + 32, "the UTF-16 common path suffix offset");
        if (basePathWide >= size || suffixWide >= size)
            Fail("a UTF-16 offset of the link information points past its end");
        target = WideZ(file, offset + basePathWide, end, "the UTF-16 local base path") +
                 WideZ(file, offset + suffixWide, end, "the UTF-16 common path suffix");
    } else {
        target = FromAnsi(AnsiZ(file, offset + basePath, end, "the local base path") +
                          AnsiZ(file, offset + suffix, end, "the common path suffix"));
    }
    PrintField("target", target);
    return end;
}

size_t ReadString(const Bytes& file, size_t offset, bool unicode, const char* name) {
    unsigned count = U16(file, offset, name);
    size_t bytes = unicode ? 2 * count : count;
    Need(file, offset + 2, bytes, name);
    std::wstring value;
    if (unicode) {
        for (unsigned i = 0; i < count; ++i)
            value += static_cast<wchar_t>(U16(file, offset + 2 + 2 * i, name));
    } else {
        value = FromAnsi(file.Data.substr(offset + 2, count));
    }
    PrintField(name, value);
    return offset + 2 + bytes;
}

Bytes ReadWholeFile(const std::wstring& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        Fail("cannot open " + Utf8(path));
    Bytes file;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &count, nullptr) && count > 0)
        file.Data.append(buffer, count);
    CloseHandle(handle);
    return file;
}

int ReadLink(const std::wstring& path) {
    Bytes file = ReadWholeFile(path);
    DWORD flags = 0;
    ReadHeader(file, flags);
    size_t offset = HeaderSize;
    if (flags & HasTargetIdList)
        offset = SkipIdList(file, offset);
    if (flags & HasLinkInfo)
        offset = ReadLinkInfo(file, offset);
    const bool unicode = (flags & IsUnicode) != 0;
    const struct {
        DWORD Flag;
        const char* Name;
    } strings[] = {{HasName, "description"},
                   {HasRelativePath, "relative"},
                   {HasWorkingDir, "workdir"},
                   {HasArguments, "arguments"},
                   {HasIconLocation, "icon"}};
    for (const auto& s : strings)
        if (flags & s.Flag)
            offset = ReadString(file, offset, unicode, s.Name);
    return 0;
}

int PrintFolder(const std::wstring& which) {
    int folder = which == L"programs" ? CSIDL_PROGRAMS : which == L"desktop" ? CSIDL_DESKTOP : -1;
    if (folder < 0)
        Fail("folder: expected programs or desktop");
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)))
        Fail("the shell does not know the folder " + Utf8(which));
    std::printf("%s\n", Utf8(path).c_str());
    return 0;
}

} // namespace

int main() {
    // UTF-8 out as it is, with bare line feeds.
    _setmode(_fileno(stdout), _O_BINARY);
    // The wide command line keeps a Japanese link name exact, whatever the
    // code page.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr && argc == 3 && std::wstring(argv[1]) == L"folder")
        return PrintFolder(argv[2]);
    if (argv != nullptr && argc == 3 && std::wstring(argv[1]) == L"read")
        return ReadLink(argv[2]);
    std::fputs("usage: shortcut_link folder programs|desktop | shortcut_link read FILE\n", stderr);
    return 2;
}
