// open_recorder: registered in the test prefix as the program that opens
// .txt files, so that a test can see which path the setup asked the shell to
// open. Each run appends its first argument, as the shell passed it, and a
// CRLF to "opened.log" beside the recorder, then ends; it shows nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string LogPathBesideProgram() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string log = path;
    return log.substr(0, log.find_last_of('\\') + 1) + "opened.log";
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string line = __argc >= 2 ? __argv[1] : "(no argument)";
    line += "\r\n";
    // One write in append mode, so that two runs never interleave.
    FILE* log = std::fopen(LogPathBesideProgram().c_str(), "ab");
    if (log == nullptr)
        return 1;
    bool written = std::fwrite(line.data(), 1, line.size(), log) == line.size();
    return std::fclose(log) == 0 && written ? 0 : 1;
}
