// icomake: writes a Windows icon file from text pixel maps.
//
//   icomake OUTPUT.ico MAP...
//
// Each MAP (see IconFile.h) becomes one 16-colour image of the icon, in the
// order given. Exit status 0, 1 on a failure, 64 on a wrong command line.
#include "IconFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int UsageExit = 64;
const int FailExit = 1;

int Fail(const std::string& message) {
    std::fprintf(stderr, "icomake: %s\n", message.c_str());
    return FailExit;
}

bool ReadText(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return !in.bad();
}

// Written under a temporary name and renamed, so that a failed run leaves no
// half icon for the resource compiler to pick up.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: icomake OUTPUT.ico MAP...\n"
                             "  Writes the text pixel maps MAP..., in this order, as the\n"
                             "  16-colour images of the icon file OUTPUT.ico.\n");
        return UsageExit;
    }
    std::vector<IconImage> images;
    for (int i = 2; i < argc; ++i) {
        std::string text, error;
        if (!ReadText(argv[i], text))
            return Fail(std::string(argv[i]) + ": " + std::strerror(errno));
        IconImage image;
        if (!ParsePixelMap(text, image, error))
            return Fail(std::string(argv[i]) + ": " + error);
        images.push_back(image);
    }
    if (!WriteFile(argv[1], BuildIconFile(images)))
        return Fail(std::string(argv[1]) + ": " + std::strerror(errno));
    return 0;
}
