// Checks the resources of the setup executable against what the program and
// its users rely on, byte by byte and independently of the resource script:
// every resource in Japanese (1041), exactly the expected types and names,
// the two 16-colour icons and their group, the four classic dialog templates
// control by control, the string table word for word (the texts from the
// tests' table of texts), and the payload archive
// identical to the one the build packed. Each difference is printed; the exit
// status is 0 when there is none, 1 otherwise, 2 when the files cannot be read.
//
//   resource_check SETUP.EXE PAYLOAD.LZH TEXTS
//
// TEXTS is the tests' table of the setup's texts (tests/ui-texts.txt): the
// resource script and it are the only two places that hold them.
#include "RobotText.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const WORD Japanese = 1041;
const WORD IconGroupId = 201;
const WORD ArchiveId = 301;
const wchar_t ArchiveType[] = L"ARCHIVES";

// Dialog header fields shared by all four templates: WS_POPUP, WS_CAPTION,
// WS_SYSMENU, DS_MODALFRAME, DS_CENTER, DS_SETFONT.
const DWORD DialogStyle = 0x80C808C0;
const WORD FontPoints = 9;

// A control as the dialog manager must get it. Its text is named by its key
// in the tests' table of texts; "" is an empty text, and null stands for the
// icon ordinal 201 of the menu's picture.
struct ControlSpec {
    WORD Id;
    const wchar_t* Class;
    const char* TextKey;
    DWORD Style;
    short X, Y, W, H;
};

struct DialogSpec {
    WORD Id;
    short W, H;
    const ControlSpec* Controls;
    size_t Count;
};

const WORD NoId = 0xFFFF; // the usual identifier of labels nobody addresses

const ControlSpec MenuControls[] = {
    {NoId, L"STATIC", nullptr, 0x50000003, 10, 10, 20, 20},
    {NoId, L"STATIC", "menu.prompt", 0x50020201, 35, 15, 80, 10},
    {1001, L"BUTTON", "menu.readme", 0x50010000, 35, 40, 80, 15},
    {1002, L"BUTTON", "menu.install", 0x50010000, 35, 65, 80, 15},
    {2, L"BUTTON", "menu.quit", 0x50010000, 35, 90, 80, 15},
};

const ControlSpec ProgressControls[] = {
    {NoId, L"STATIC", "progress.label", 0x50020000, 10, 10, 180, 8},
    {1003, L"STATIC", "", 0x50020080, 10, 25, 180, 8},
    {1004, L"msctls_progress32", "progress.bar", 0x50800000, 10, 45, 180, 15},
    {2, L"BUTTON", "progress.cancel", 0x50010000, 145, 70, 45, 15},
};

const ControlSpec FolderControls[] = {
    {1005, L"STATIC", "", 0x50020000, 10, 10, 220, 10},
    {1006, L"EDIT", "", 0x50810080, 10, 25, 175, 14},
    {1007, L"BUTTON", "folder.browse", 0x50030000, 190, 25, 40, 15},
    {1008, L"BUTTON", "folder.start-menu", 0x50030003, 15, 50, 210, 10},
    {1009, L"BUTTON", "folder.desktop", 0x50030003, 15, 65, 210, 10},
    {1, L"BUTTON", "folder.ok", 0x50030001, 70, 85, 40, 15},
    {2, L"BUTTON", "folder.cancel", 0x50010000, 125, 85, 40, 15},
};

const ControlSpec SearchControls[] = {
    {NoId, L"STATIC", "search.wait", 0x50020001, 10, 10, 150, 8},
    {NoId, L"STATIC", "search.looking", 0x50020001, 10, 25, 150, 8},
    {1010, L"STATIC", "search.marquee", 0x50821281, 15, 45, 140, 15},
    {2, L"BUTTON", "search.cancel", 0x50010000, 110, 70, 45, 15},
};

const DialogSpec Dialogs[] = {
    {101, 134, 119, MenuControls, sizeof MenuControls / sizeof MenuControls[0]},
    {102, 199, 93, ProgressControls, sizeof ProgressControls / sizeof ProgressControls[0]},
    {103, 239, 109, FolderControls, sizeof FolderControls / sizeof FolderControls[0]},
    {104, 169, 93, SearchControls, sizeof SearchControls / sizeof SearchControls[0]},
};

const WORD FirstString = 2001;
const WORD LastString = 2017;

// Icons 1 and 2: 32 x 32 and 16 x 16 pixels, 4 bits per pixel.
struct IconSpec {
    WORD Id;
    int Side;
};
const IconSpec Icons[] = {{1, 32}, {2, 16}};

// ---------------------------------------------------------------------------
// Reporting

int Differences = 0;

// The tests' table of texts (tests/ui-texts.txt), by key, in UTF-8.
TextTable Texts;

void Report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::printf("resource_check: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    ++Differences;
}

std::string Utf8(const std::wstring& text) {
    return NarrowText(CP_UTF8, text);
}

// A text for a message: in quotes, line feeds and other control characters
// shown as escapes.
std::string Quoted(const std::wstring& text) {
    std::wstring shown;
    for (wchar_t c : text) {
        if (c == L'\n') {
            shown += L"\\n";
        } else if (c < 0x20) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
            shown += escape;
        } else {
            shown += c;
        }
    }
    return "\"" + Utf8(shown) + "\"";
}

// Where two texts part: the first differing position and its characters.
std::string FirstDifference(const std::wstring& got, const std::wstring& want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    char where[96];
    if (i < got.size() && i < want.size())
        std::snprintf(where, sizeof where, "at character %u: U+%04X, expected U+%04X",
                      static_cast<unsigned>(i), static_cast<unsigned>(got[i]),
                      static_cast<unsigned>(want[i]));
    else
        std::snprintf(where, sizeof where, "length %u, expected %u",
                      static_cast<unsigned>(got.size()), static_cast<unsigned>(want.size()));
    return where;
}

// The expected text of KEY in UTF-16, as the resources hold texts.
std::wstring Expected(const std::string& key) {
    const TextTable::const_iterator entry = Texts.find(key);
    if (entry == Texts.end()) {
        Report("the table of texts has no text %s", key.c_str());
        return std::wstring();
    }
    return WideText(CP_UTF8, entry->second);
}

void CompareText(const char* what, const std::wstring& got, const std::wstring& want) {
    if (got != want)
        Report("%s is %s, expected %s (%s)", what, Quoted(got).c_str(), Quoted(want).c_str(),
               FirstDifference(got, want).c_str());
}

// ---------------------------------------------------------------------------
// The resource directory

// A resource type or name: a number, or a string for named ones.
struct ResKey {
    WORD Number; // 0 for a string
    std::wstring Name;
};

ResKey KeyOf(LPCWSTR value) {
    ResKey key;
    key.Number = IS_INTRESOURCE(value) ? static_cast<WORD>(ULONG_PTR(value)) : 0;
    if (!IS_INTRESOURCE(value))
        key.Name = value;
    return key;
}

LPCWSTR KeyArgument(const ResKey& key) {
    return key.Number ? MAKEINTRESOURCEW(key.Number) : key.Name.c_str();
}

bool SameKey(const ResKey& a, const ResKey& b) {
    return a.Number == b.Number && a.Name == b.Name;
}

std::string TypeLabel(const ResKey& type) {
    static const struct {
        WORD Number;
        const char* Name;
    } known[] = {{1, "RT_CURSOR"},      {2, "RT_BITMAP"},   {3, "RT_ICON"},
                 {4, "RT_MENU"},        {5, "RT_DIALOG"},   {6, "RT_STRING"},
                 {9, "RT_ACCELERATOR"}, {10, "RT_RCDATA"},  {12, "RT_GROUP_CURSOR"},
                 {14, "RT_GROUP_ICON"}, {16, "RT_VERSION"}, {23, "RT_HTML"},
                 {24, "RT_MANIFEST"}};
    if (type.Number == 0)
        return "\"" + Utf8(type.Name) + "\"";
    for (const auto& k : known)
        if (k.Number == type.Number)
            return std::string(k.Name) + " (" + std::to_string(type.Number) + ")";
    return "type " + std::to_string(type.Number);
}

std::string NameLabel(const ResKey& name) {
    return name.Number ? std::to_string(name.Number) : "\"" + Utf8(name.Name) + "\"";
}

struct ResEntry {
    ResKey Type;
    ResKey Name;
    WORD Language;
};

struct Walk {
    std::vector<ResEntry> Entries;
    ResKey Type;
    ResKey Name;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    Walk* walk = reinterpret_cast<Walk*>(param);
    walk->Entries.push_back({walk->Type, walk->Name, language});
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    Walk* walk = reinterpret_cast<Walk*>(param);
    walk->Name = KeyOf(name);
    EnumResourceLanguagesW(module, type, name, CollectLanguage, param);
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR param) {
    Walk* walk = reinterpret_cast<Walk*>(param);
    walk->Type = KeyOf(type);
    EnumResourceNamesW(module, type, CollectName, param);
    return TRUE;
}

std::vector<ResEntry> ListResources(HMODULE module) {
    Walk walk;
    EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&walk));
    return walk.Entries;
}

std::vector<ResEntry> ExpectedResources() {
    std::vector<ResEntry> expected;
    auto add = [&](ResKey type, WORD name) { expected.push_back({type, {name, L""}, Japanese}); };
    for (const IconSpec& icon : Icons)
        add({3, L""}, icon.Id);
    add({14, L""}, IconGroupId);
    for (const DialogSpec& dialog : Dialogs)
        add({5, L""}, dialog.Id);
    // A string table block holds 16 strings: block n has the ids 16(n-1) to 16n-1.
    for (WORD block = FirstString / 16 + 1; block <= LastString / 16 + 1; ++block)
        add({6, L""}, block);
    add({0, ArchiveType}, ArchiveId);
    return expected;
}

bool Contains(const std::vector<ResEntry>& list, const ResEntry& entry) {
    for (const ResEntry& e : list)
        if (SameKey(e.Type, entry.Type) && SameKey(e.Name, entry.Name))
            return true;
    return false;
}

void CheckDirectory(const std::vector<ResEntry>& found) {
    if (found.empty())
        Report("the executable has no resources");
    std::vector<ResEntry> expected = ExpectedResources();
    for (const ResEntry& e : found) {
        if (e.Language != Japanese)
            Report("%s %s is in language %u, expected %u", TypeLabel(e.Type).c_str(),
                   NameLabel(e.Name).c_str(), static_cast<unsigned>(e.Language),
                   static_cast<unsigned>(Japanese));
        if (!Contains(expected, e))
            Report("unexpected resource %s %s", TypeLabel(e.Type).c_str(),
                   NameLabel(e.Name).c_str());
    }
    for (const ResEntry& e : expected)
        if (!Contains(found, e))
            Report("missing resource %s %s", TypeLabel(e.Type).c_str(), NameLabel(e.Name).c_str());
}

// The bytes of one resource in Japanese; empty when it is missing (the
// directory check has already said so).
std::vector<BYTE> ResourceBytes(HMODULE module, const ResKey& type, WORD name) {
    HRSRC found = FindResourceExW(module, KeyArgument(type), MAKEINTRESOURCEW(name), Japanese);
    if (found == nullptr)
        return std::vector<BYTE>();
    HGLOBAL loaded = LoadResource(module, found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    DWORD size = SizeofResource(module, found);
    if (data == nullptr)
        return std::vector<BYTE>();
    return std::vector<BYTE>(data, data + size);
}

// ---------------------------------------------------------------------------
// Reading little-endian structures

struct Reader {
    const std::vector<BYTE>* Data;
    size_t At;
    bool Overrun;
};

WORD ReadWord(Reader& r) {
    if (r.At + 2 > r.Data->size()) {
        r.Overrun = true;
        r.At = r.Data->size();
        return 0;
    }
    WORD v = static_cast<WORD>((*r.Data)[r.At] | (*r.Data)[r.At + 1] << 8);
    r.At += 2;
    return v;
}

DWORD ReadDword(Reader& r) {
    DWORD low = ReadWord(r);
    return low | static_cast<DWORD>(ReadWord(r)) << 16;
}

std::wstring ReadWideString(Reader& r) {
    std::wstring text;
    for (WORD c = ReadWord(r); c != 0 && !r.Overrun; c = ReadWord(r))
        text += static_cast<wchar_t>(c);
    return text;
}

// A template field that is either an ordinal (0xFFFF, then the number) or a
// string. Number is set for an ordinal, Text otherwise.
struct NameOrOrdinal {
    bool IsOrdinal;
    WORD Number;
    std::wstring Text;
};

NameOrOrdinal ReadNameOrOrdinal(Reader& r) {
    NameOrOrdinal field = {false, 0, L""};
    size_t start = r.At;
    if (ReadWord(r) == 0xFFFF) {
        field.IsOrdinal = true;
        field.Number = ReadWord(r);
        return field;
    }
    r.At = start;
    field.Text = ReadWideString(r);
    return field;
}

void AlignDword(Reader& r) {
    r.At = (r.At + 3) & ~static_cast<size_t>(3);
}

// ---------------------------------------------------------------------------
// Icons

void CheckIconImage(HMODULE module, const IconSpec& icon) {
    std::vector<BYTE> data = ResourceBytes(module, {3, L""}, icon.Id);
    if (data.empty())
        return;
    Reader r = {&data, 0, false};
    DWORD headerSize = ReadDword(r);
    LONG width = LONG(ReadDword(r));
    LONG height = LONG(ReadDword(r));
    WORD planes = ReadWord(r);
    WORD bits = ReadWord(r);
    DWORD compression = ReadDword(r);
    if (headerSize != 40 || width != icon.Side || height != 2 * icon.Side || planes != 1 ||
        bits != 4 || compression != 0)
        Report("icon %u: header size %lu, %ld x %ld (height counts image and mask), %u plane(s), "
               "%u bits per pixel, compression %lu; expected 40, %d x %d, 1, 4, 0",
               static_cast<unsigned>(icon.Id), static_cast<unsigned long>(headerSize),
               static_cast<long>(width), static_cast<long>(height), static_cast<unsigned>(planes),
               static_cast<unsigned>(bits), static_cast<unsigned long>(compression), icon.Side,
               2 * icon.Side);
    // Header, 16-entry palette, 4-bit image and 1-bit mask, rows padded to 4 bytes.
    size_t want = 40 + 16 * 4 + static_cast<size_t>(icon.Side) * ((icon.Side * 4 + 31) / 32 * 4) +
                  static_cast<size_t>(icon.Side) * ((icon.Side + 31) / 32 * 4);
    if (data.size() != want)
        Report("icon %u holds %u bytes, a %d x %d 16-colour image takes %u",
               static_cast<unsigned>(icon.Id), static_cast<unsigned>(data.size()), icon.Side,
               icon.Side, static_cast<unsigned>(want));
}

void CheckIconGroup(HMODULE module) {
    std::vector<BYTE> data = ResourceBytes(module, {14, L""}, IconGroupId);
    if (data.empty())
        return;
    Reader r = {&data, 0, false};
    WORD reserved = ReadWord(r);
    WORD kind = ReadWord(r);
    WORD count = ReadWord(r);
    if (reserved != 0 || kind != 1 || count != 2)
        Report("icon group %u: reserved %u, type %u, %u entries; expected 0, 1 (icon), 2",
               static_cast<unsigned>(IconGroupId), static_cast<unsigned>(reserved),
               static_cast<unsigned>(kind), static_cast<unsigned>(count));
    bool seen[2] = {false, false};
    for (WORD i = 0; i < count && !r.Overrun; ++i) {
        int width = data[r.At], height = data[r.At + 1], colours = data[r.At + 2];
        r.At += 4;
        WORD planes = ReadWord(r);
        WORD bits = ReadWord(r);
        DWORD bytes = ReadDword(r);
        WORD id = ReadWord(r);
        const IconSpec* icon = nullptr;
        for (const IconSpec& s : Icons)
            if (s.Id == id)
                icon = &s;
        if (icon == nullptr) {
            Report("icon group %u: entry %u names icon %u, which is not 1 or 2",
                   static_cast<unsigned>(IconGroupId), static_cast<unsigned>(i),
                   static_cast<unsigned>(id));
            continue;
        }
        seen[icon->Id - 1] = true;
        DWORD actual = static_cast<DWORD>(ResourceBytes(module, {3, L""}, id).size());
        if (width != icon->Side || height != icon->Side || colours != 16 || planes != 1 ||
            bits != 4 || bytes != actual)
            Report("icon group %u, icon %u: %d x %d, %d colours, %u plane(s), %u bits, %lu bytes; "
                   "expected %d x %d, 16, 1, 4, %lu",
                   static_cast<unsigned>(IconGroupId), static_cast<unsigned>(id), width, height,
                   colours, static_cast<unsigned>(planes), static_cast<unsigned>(bits),
                   static_cast<unsigned long>(bytes), icon->Side, icon->Side,
                   static_cast<unsigned long>(actual));
    }
    if (r.Overrun)
        Report("icon group %u is cut short", static_cast<unsigned>(IconGroupId));
    for (const IconSpec& icon : Icons)
        if (!seen[icon.Id - 1])
            Report("icon group %u lacks icon %u", static_cast<unsigned>(IconGroupId),
                   static_cast<unsigned>(icon.Id));
}

// ---------------------------------------------------------------------------
// Dialogs

// Predefined classes that a template may name by atom instead of by name.
WORD ClassAtom(const wchar_t* name) {
    if (std::wcscmp(name, L"BUTTON") == 0)
        return 0x80;
    if (std::wcscmp(name, L"EDIT") == 0)
        return 0x81;
    if (std::wcscmp(name, L"STATIC") == 0)
        return 0x82;
    return 0;
}

std::string FieldLabel(const NameOrOrdinal& field) {
    if (field.IsOrdinal) {
        char number[32];
        std::snprintf(number, sizeof number, "ordinal 0x%04X", static_cast<unsigned>(field.Number));
        return number;
    }
    return Quoted(field.Text);
}

void CheckControlClass(const std::string& where, const NameOrOrdinal& got,
                       const ControlSpec& want) {
    WORD atom = ClassAtom(want.Class);
    bool same = got.IsOrdinal ? atom != 0 && got.Number == atom
                              : _wcsicmp(got.Text.c_str(), want.Class) == 0;
    if (!same)
        Report("%s: class %s, expected %s", where.c_str(), FieldLabel(got).c_str(),
               Quoted(want.Class).c_str());
}

void CheckControlText(const std::string& where, const NameOrOrdinal& got, const ControlSpec& want) {
    if (want.TextKey == nullptr) {
        if (!got.IsOrdinal || got.Number != IconGroupId)
            Report("%s: text %s, expected the icon ordinal %u", where.c_str(),
                   FieldLabel(got).c_str(), static_cast<unsigned>(IconGroupId));
        return;
    }
    const std::wstring text = want.TextKey[0] == 0 ? std::wstring() : Expected(want.TextKey);
    if (got.IsOrdinal) {
        Report("%s: text %s, expected %s", where.c_str(), FieldLabel(got).c_str(),
               Quoted(text).c_str());
        return;
    }
    CompareText((where + ": text").c_str(), got.Text, text);
}

void CheckControl(Reader& r, WORD dialog, size_t index, const ControlSpec& want) {
    AlignDword(r);
    DWORD style = ReadDword(r);
    DWORD exStyle = ReadDword(r);
    short x = static_cast<short>(ReadWord(r)), y = static_cast<short>(ReadWord(r));
    short w = static_cast<short>(ReadWord(r)), h = static_cast<short>(ReadWord(r));
    WORD id = ReadWord(r);
    NameOrOrdinal cls = ReadNameOrOrdinal(r);
    NameOrOrdinal text = ReadNameOrOrdinal(r);
    WORD extra = ReadWord(r);
    r.At += extra;

    char where[64];
    std::snprintf(where, sizeof where, "dialog %u, control %u (id %u)",
                  static_cast<unsigned>(dialog), static_cast<unsigned>(index + 1),
                  static_cast<unsigned>(want.Id));
    if (id != want.Id)
        Report("%s: id %u, expected %u", where, static_cast<unsigned>(id),
               static_cast<unsigned>(want.Id));
    CheckControlClass(where, cls, want);
    CheckControlText(where, text, want);
    if (style != want.Style)
        Report("%s: style 0x%08lX, expected 0x%08lX (differing bits 0x%08lX)", where,
               static_cast<unsigned long>(style), static_cast<unsigned long>(want.Style),
               static_cast<unsigned long>(style ^ want.Style));
    if (exStyle != 0)
        Report("%s: extended style 0x%08lX, expected 0", where,
               static_cast<unsigned long>(exStyle));
    if (x != want.X || y != want.Y || w != want.W || h != want.H)
        Report("%s: at %d, %d, size %d x %d; expected %d, %d, %d x %d", where, x, y, w, h, want.X,
               want.Y, want.W, want.H);
    if (extra != 0)
        Report("%s: %u bytes of creation data, expected none", where, static_cast<unsigned>(extra));
}

void CheckDialog(HMODULE module, const DialogSpec& spec) {
    std::vector<BYTE> data = ResourceBytes(module, {5, L""}, spec.Id);
    if (data.empty())
        return;
    Reader r = {&data, 0, false};
    DWORD style = ReadDword(r);
    if (style == 0xFFFF0001) {
        Report("dialog %u is an extended template (DLGTEMPLATEEX), expected the classic form",
               static_cast<unsigned>(spec.Id));
        return;
    }
    DWORD exStyle = ReadDword(r);
    WORD count = ReadWord(r);
    r.At += 4; // x, y: DS_CENTER places the dialog
    short w = static_cast<short>(ReadWord(r)), h = static_cast<short>(ReadWord(r));
    NameOrOrdinal menu = ReadNameOrOrdinal(r);
    NameOrOrdinal cls = ReadNameOrOrdinal(r);
    std::wstring caption = ReadWideString(r);
    WORD points = (style & DS_SETFONT) ? ReadWord(r) : 0;
    std::wstring font = (style & DS_SETFONT) ? ReadWideString(r) : L"";

    unsigned id = spec.Id;
    if (style != DialogStyle)
        Report("dialog %u: style 0x%08lX, expected 0x%08lX (differing bits 0x%08lX)", id,
               static_cast<unsigned long>(style), static_cast<unsigned long>(DialogStyle),
               static_cast<unsigned long>(style ^ DialogStyle));
    if (exStyle != 0)
        Report("dialog %u: extended style 0x%08lX, expected 0", id,
               static_cast<unsigned long>(exStyle));
    if (w != spec.W || h != spec.H)
        Report("dialog %u: size %d x %d, expected %d x %d", id, w, h, spec.W, spec.H);
    if (menu.IsOrdinal || !menu.Text.empty())
        Report("dialog %u: menu %s, expected none", id, FieldLabel(menu).c_str());
    if (cls.IsOrdinal || !cls.Text.empty())
        Report("dialog %u: class %s, expected the standard dialog class", id,
               FieldLabel(cls).c_str());
    std::string what = "dialog " + std::to_string(id);
    CompareText((what + ": caption").c_str(), caption, Expected("2001"));
    if (points != FontPoints)
        Report("dialog %u: font size %u, expected %u", id, static_cast<unsigned>(points),
               static_cast<unsigned>(FontPoints));
    CompareText((what + ": font").c_str(), font, Expected("dialog.font"));
    if (count != spec.Count)
        Report("dialog %u: %u controls, expected %u", id, static_cast<unsigned>(count),
               static_cast<unsigned>(spec.Count));
    for (size_t i = 0; i < count && i < spec.Count && !r.Overrun; ++i)
        CheckControl(r, spec.Id, i, spec.Controls[i]);
    if (r.Overrun)
        Report("dialog %u: the template is cut short", id);
}

// ---------------------------------------------------------------------------
// Strings

// Each block holds 16 counted strings; an absent string has the count 0.
void CheckStringBlock(HMODULE module, WORD block) {
    std::vector<BYTE> data = ResourceBytes(module, {6, L""}, block);
    if (data.empty())
        return;
    Reader r = {&data, 0, false};
    for (WORD i = 0; i < 16; ++i) {
        WORD id = static_cast<WORD>((block - 1) * 16 + i);
        WORD length = ReadWord(r);
        std::wstring text;
        for (WORD c = 0; c < length && !r.Overrun; ++c)
            text += static_cast<wchar_t>(ReadWord(r));
        if (r.Overrun) {
            Report("string table block %u is cut short at string %u", static_cast<unsigned>(block),
                   static_cast<unsigned>(id));
            return;
        }
        if (id < FirstString || id > LastString) {
            if (length != 0)
                Report("unexpected string %u: %s", static_cast<unsigned>(id), Quoted(text).c_str());
            continue;
        }
        if (length == 0) {
            Report("string %u is missing", static_cast<unsigned>(id));
            continue;
        }
        CompareText(("string " + std::to_string(id)).c_str(), text, Expected(std::to_string(id)));
    }
}

// ---------------------------------------------------------------------------
// The payload

bool ReadWholeFile(const char* path, std::vector<BYTE>& bytes) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    BYTE chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void CheckArchive(HMODULE module, const std::vector<BYTE>& payload) {
    std::vector<BYTE> data = ResourceBytes(module, {0, ArchiveType}, ArchiveId);
    if (data.empty())
        return;
    if (data == payload)
        return;
    size_t i = 0;
    while (i < data.size() && i < payload.size() && data[i] == payload[i])
        ++i;
    Report("\"ARCHIVES\" %u holds %u bytes, the payload file %u; they differ from offset %u",
           static_cast<unsigned>(ArchiveId), static_cast<unsigned>(data.size()),
           static_cast<unsigned>(payload.size()), static_cast<unsigned>(i));
}

// Under Wine the host's root is drive Z:, so a host path given by the test
// runner becomes a Windows path there.
std::string WindowsPath(const char* path) {
    std::string out = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::printf("usage: resource_check SETUP.EXE PAYLOAD.LZH TEXTS\n");
        return 2;
    }
    std::string setup = WindowsPath(argv[1]);
    std::string payloadPath = WindowsPath(argv[2]);
    std::string error;
    if (!ReadTextTable(WindowsPath(argv[3]), Texts, error)) {
        std::printf("resource_check: %s\n", error.c_str());
        return 2;
    }
    std::vector<BYTE> payload;
    if (!ReadWholeFile(payloadPath.c_str(), payload)) {
        std::printf("resource_check: cannot read %s\n", payloadPath.c_str());
        return 2;
    }
    HMODULE module = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("resource_check: cannot load %s (error %lu)\n", setup.c_str(),
                    static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    std::vector<ResEntry> found = ListResources(module);
    CheckDirectory(found);
    for (const IconSpec& icon : Icons)
        CheckIconImage(module, icon);
    CheckIconGroup(module);
    for (const DialogSpec& dialog : Dialogs)
        CheckDialog(module, dialog);
    for (WORD block = FirstString / 16 + 1; block <= LastString / 16 + 1; ++block)
        CheckStringBlock(module, block);
    CheckArchive(module, payload);
    FreeLibrary(module);

    if (Differences != 0) {
        std::printf("resource_check: %d difference(s) in %s\n", Differences, argv[1]);
        return 1;
    }
    std::printf("resource_check: %u resources, all in language %u: icons 1 and 2, group %u, "
                "dialogs 101-104 (%u controls), strings %u-%u, \"ARCHIVES\" %u (%u bytes, "
                "identical to the payload); no version block, no manifest\n",
                static_cast<unsigned>(found.size()), static_cast<unsigned>(Japanese),
                static_cast<unsigned>(IconGroupId),
                static_cast<unsigned>(sizeof MenuControls / sizeof MenuControls[0] +
                                      sizeof ProgressControls / sizeof ProgressControls[0] +
                                      sizeof FolderControls / sizeof FolderControls[0] +
                                      sizeof SearchControls / sizeof SearchControls[0]),
                static_cast<unsigned>(FirstString), static_cast<unsigned>(LastString),
                static_cast<unsigned>(ArchiveId), static_cast<unsigned>(payload.size()));
    return 0;
}
