// The Start-menu and desktop links to the installed program, written through
// the shell's link object. Failures are not reported: the install itself has
// succeeded, and a missing link is no reason to alarm the user.
#include "Shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "../res/ResourceIds.h"
#include "SetupGlobals.h"
#include "TextBuffer.h"

namespace {

// Builds "<special folder>\<name>.lnk" in MsgBuf, with the name (also the
// link's description) in CaptionBuf, and writes the link.
void CreateShortcutIn(IMalloc* allocator, int folder, UINT nameId, const char* targetPath) {
    LPITEMIDLIST list = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, folder, &list)) || list == NULL)
        return;
    if (SHGetPathFromIDListA(list, MsgBuf) && EndWithBackslash(MsgBuf)) {
        LoadStringA(InstanceHandle, nameId, CaptionBuf, TextSize);
        if (AppendText(MsgBuf, CaptionBuf) && AppendText(MsgBuf, ".lnk"))
            CreateShortcut(targetPath, MsgBuf, CaptionBuf);
    }
    allocator->Free(list);
}

} // namespace

bool CreateShortcut(const char* targetPath, const char* linkPath, const char* description) {
    IShellLinkA* link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(targetPath);
    link->SetDescription(description);
    IPersistFile* file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return false;
    }
    // A link path that does not fit the wide buffer is not saved at all,
    // rather than saved under a name cut short.
    WCHAR widePath[PathSize];
    HRESULT result = E_FAIL;
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, PathSize) != 0)
        result = file->Save(widePath, TRUE);
    file->Release();
    link->Release();
    return SUCCEEDED(result);
}

void CreateChosenShortcuts(const char* targetPath) {
    // Neither box ticked: COM is not even started.
    if (!AddToStartMenu && !AddToDesktop)
        return;
    CoInitialize(NULL);
    IMalloc* allocator;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        if (AddToStartMenu)
            CreateShortcutIn(allocator, CSIDL_PROGRAMS, IDS_START_MENU_LINK, targetPath);
        if (AddToDesktop)
            CreateShortcutIn(allocator, CSIDL_DESKTOP, IDS_DESKTOP_LINK, targetPath);
        allocator->Release();
    }
    CoUninitialize();
}
