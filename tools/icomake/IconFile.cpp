#include "IconFile.h"

#include "LittleEndian.h"

#include <cstdlib>
#include <sstream>

const uint32_t StandardPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                      0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

namespace {

const int MaxSide = 256; // a directory entry stores 256 as 0
const int NoColour = -1;
const int TransparentPixel = -2;

struct MapReader {
    int Legend[256];
    int Width;
    int Height;
    int Rows;
};

std::string LineMessage(int line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

bool ReadNumber(std::istringstream& words, int low, int high, int& value) {
    std::string word;
    if (!(words >> word) || word.find_first_not_of("0123456789") != std::string::npos ||
        word.size() > 3)
        return false;
    value = std::atoi(word.c_str());
    return value >= low && value <= high;
}

bool ReadLegendChar(std::istringstream& words, unsigned char& c) {
    std::string word;
    if (!(words >> word) || word.size() != 1)
        return false;
    c = static_cast<unsigned char>(word[0]);
    return true;
}

bool ParseDirective(const std::string& line, int number, MapReader& map, std::string& error) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "size") {
        if (map.Width != 0)
            return error = LineMessage(number, "a second size"), false;
        if (!ReadNumber(words, 1, MaxSide, map.Width) || !ReadNumber(words, 1, MaxSide, map.Height))
            return error = LineMessage(number, "size needs a width and a height of 1 to 256"),
                   false;
        return true;
    }
    unsigned char c = 0;
    if (keyword == "colour") {
        int index = 0;
        if (!ReadLegendChar(words, c) || !ReadNumber(words, 0, 15, index))
            return error = LineMessage(number, "colour needs a character and an index 0 to 15"),
                   false;
        if (map.Legend[c] != NoColour)
            return error = LineMessage(number, "the character is already in the legend"), false;
        map.Legend[c] = index;
        return true;
    }
    if (keyword == "transparent") {
        if (!ReadLegendChar(words, c))
            return error = LineMessage(number, "transparent needs one character"), false;
        if (map.Legend[c] != NoColour)
            return error = LineMessage(number, "the character is already in the legend"), false;
        map.Legend[c] = TransparentPixel;
        return true;
    }
    return error = LineMessage(number, "unknown directive \"" + keyword + "\""), false;
}

bool ParseRow(const std::string& line, int number, MapReader& map, IconImage& image,
              std::string& error) {
    if (map.Width == 0)
        return error = LineMessage(number, "pixels before the size"), false;
    if (map.Rows == map.Height)
        return error = LineMessage(number, "more rows than the size says"), false;
    if (static_cast<int>(line.size()) != map.Width)
        return error = LineMessage(number, "the row has " + std::to_string(line.size()) +
                                               " pixels, not " + std::to_string(map.Width)),
               false;
    for (size_t x = 0; x < line.size(); ++x) {
        int entry = map.Legend[static_cast<unsigned char>(line[x])];
        if (entry == NoColour)
            return error =
                       LineMessage(number, std::string("'") + line[x] + "' is not in the legend"),
                   false;
        image.Colour.push_back(entry == TransparentPixel ? 0 : static_cast<uint8_t>(entry));
        image.Transparent.push_back(entry == TransparentPixel);
    }
    ++map.Rows;
    return true;
}

uint32_t ColourRowBytes(const IconImage& image) {
    return static_cast<uint32_t>((image.Width * 4 + 31) / 32 * 4);
}

uint32_t MaskRowBytes(const IconImage& image) {
    return static_cast<uint32_t>((image.Width + 31) / 32 * 4);
}

void PutDirectoryEntry(std::vector<uint8_t>& out, const IconImage& image, uint32_t offset) {
    out.push_back(static_cast<uint8_t>(image.Width % 256));
    out.push_back(static_cast<uint8_t>(image.Height % 256));
    out.push_back(16); // colours
    out.push_back(0);  // reserved
    Put16(out, 1);     // planes
    Put16(out, 4);     // bits per pixel
    Put32(out, IconImageBytes(image));
    Put32(out, offset);
}

void PutBitmapHeader(std::vector<uint8_t>& out, const IconImage& image) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(image.Width));
    Put32(out, static_cast<uint32_t>(image.Height * 2)); // the colour bitmap and the mask, stacked
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0); // BI_RGB
    Put32(out, (ColourRowBytes(image) + MaskRowBytes(image)) * static_cast<uint32_t>(image.Height));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, 0);
}

void PutPalette(std::vector<uint8_t>& out) {
    for (uint32_t rgb : StandardPalette) {
        out.push_back(static_cast<uint8_t>(rgb));       // blue
        out.push_back(static_cast<uint8_t>(rgb >> 8));  // green
        out.push_back(static_cast<uint8_t>(rgb >> 16)); // red
        out.push_back(0);
    }
}

void PutColourBitmap(std::vector<uint8_t>& out, const IconImage& image) {
    for (int y = image.Height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(ColourRowBytes(image), 0);
        for (int x = 0; x < image.Width; ++x) {
            uint8_t index = image.Colour[static_cast<size_t>(y * image.Width + x)] & 15;
            row[static_cast<size_t>(x / 2)] |=
                static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

void PutMask(std::vector<uint8_t>& out, const IconImage& image) {
    for (int y = image.Height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(MaskRowBytes(image), 0);
        for (int x = 0; x < image.Width; ++x)
            if (image.Transparent[static_cast<size_t>(y * image.Width + x)])
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
}

} // namespace

bool ParsePixelMap(const std::string& text, IconImage& image, std::string& error) {
    MapReader map = {};
    for (int& entry : map.Legend)
        entry = NoColour;
    image = IconImage();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        bool ok = line.find(' ') != std::string::npos ? ParseDirective(line, number, map, error)
                                                      : ParseRow(line, number, map, image, error);
        if (!ok)
            return false;
    }
    if (map.Width == 0)
        return error = "no size line", false;
    if (map.Rows != map.Height)
        return error = std::to_string(map.Rows) + " rows of pixels, the size says " +
                       std::to_string(map.Height),
               false;
    image.Width = map.Width;
    image.Height = map.Height;
    return true;
}

uint32_t IconImageBytes(const IconImage& image) {
    return 40 + 16 * 4 +
           (ColourRowBytes(image) + MaskRowBytes(image)) * static_cast<uint32_t>(image.Height);
}

std::vector<uint8_t> BuildIconFile(const std::vector<IconImage>& images) {
    std::vector<uint8_t> out;
    Put16(out, 0); // reserved
    Put16(out, 1); // an icon, not a cursor
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const IconImage& image : images) {
        PutDirectoryEntry(out, image, offset);
        offset += IconImageBytes(image);
    }
    for (const IconImage& image : images) {
        PutBitmapHeader(out, image);
        PutPalette(out);
        PutColourBitmap(out, image);
        PutMask(out, image);
    }
    return out;
}
