// Quillom.exe as this project builds it: a stand-in for the application that
// the setup installs, so that the install's last step has a real program to
// start. It opens one window titled "Quillometer" that shows its version and
// closes cleanly. A release build replaces it with the application's own file.
#include <windows.h>

namespace {

const char ClassName[] = "QuillometerStandIn";
const char Title[] = "Quillometer";
const char VersionLine[] = "Quillometer Ver1.18";
const int VersionId = 100;

void CreateVersionLabel(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    CreateWindowA("STATIC", VersionLine, WS_CHILD | WS_VISIBLE | SS_CENTER, 0,
                  client.bottom / 2 - 10, client.right, 20, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(VersionId)),
                  reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)), nullptr);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateVersionLabel(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = ClassName;
    return RegisterClassA(&wc) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (!RegisterMainClass(instance))
        return 1;
    HWND window = CreateWindowA(ClassName, Title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                360, 160, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
