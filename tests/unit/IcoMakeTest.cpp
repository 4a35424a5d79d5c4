// icomake's icon files read back the way Windows reads them: the directory,
// each image's header and palette, then pixels and mask bits found through
// the bottom-up, 4-byte-aligned rows. Also the pixel-map reader's refusals.
#include "IconFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

uint32_t U16(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b.at(at) | b.at(at + 1) << 8);
}

uint32_t U32(const Bytes& b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// Where a directory entry says its image is.
size_t ImageOffset(const Bytes& ico, int entry) {
    return U32(ico, 6 + 16 * static_cast<size_t>(entry) + 12);
}

// The 4-bit colour of pixel (x, y), y counted from the top, decoded from the
// file alone: header size and palette from the image's own header.
int PixelAt(const Bytes& ico, int entry, int x, int y) {
    size_t image = ImageOffset(ico, entry);
    int width = static_cast<int>(U32(ico, image + 4));
    int height = static_cast<int>(U32(ico, image + 8)) / 2;
    size_t bits = image + U32(ico, image) + 4 * 16;
    size_t stride = static_cast<size_t>((width * 4 + 31) / 32 * 4);
    uint8_t byte =
        ico.at(bits + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x / 2));
    return x % 2 == 0 ? byte >> 4 : byte & 15;
}

bool MaskBitAt(const Bytes& ico, int entry, int x, int y) {
    size_t image = ImageOffset(ico, entry);
    int width = static_cast<int>(U32(ico, image + 4));
    int height = static_cast<int>(U32(ico, image + 8)) / 2;
    size_t colourStride = static_cast<size_t>((width * 4 + 31) / 32 * 4);
    size_t maskStride = static_cast<size_t>((width + 31) / 32 * 4);
    size_t mask = image + U32(ico, image) + 4 * 16 + colourStride * static_cast<size_t>(height);
    uint8_t byte = ico.at(mask + static_cast<size_t>(height - 1 - y) * maskStride +
                          static_cast<size_t>(x / 8));
    return (byte >> (7 - x % 8)) & 1;
}

std::string ReadSourceFile(const std::string& name) {
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

IconImage MustParse(const std::string& text) {
    IconImage image;
    std::string error;
    EXPECT_TRUE(ParsePixelMap(text, image, error)) << error;
    return image;
}

const char Legend[] = "transparent .\n"
                      "colour k 0 black\n"
                      "colour r 9 red\n"
                      "colour w 15 white\n";

} // namespace

// The product icon as the resource compiler gets it: two 16-colour images,
// 32 x 32 first, laid out one after the other behind the directory.
TEST(IcoMake, ProductIconDirectoryAndHeaders) {
    std::vector<IconImage> images = {MustParse(ReadSourceFile("res/icon/Quillometer-32.txt")),
                                     MustParse(ReadSourceFile("res/icon/Quillometer-16.txt"))};
    Bytes ico = BuildIconFile(images);
    ASSERT_EQ(ico.size(), 6u + 2 * 16 + 744 + 296);
    EXPECT_EQ(U16(ico, 0), 0u);
    EXPECT_EQ(U16(ico, 2), 1u); // icon, not cursor
    EXPECT_EQ(U16(ico, 4), 2u);

    const uint32_t side[2] = {32, 16};
    const uint32_t bytes[2] = {40 + 64 + 32 * 16 + 32 * 4, 40 + 64 + 16 * 8 + 16 * 4};
    const uint32_t offset[2] = {38, 38 + bytes[0]};
    for (int e = 0; e < 2; ++e) {
        SCOPED_TRACE(e);
        size_t entry = 6 + 16 * static_cast<size_t>(e);
        EXPECT_EQ(ico[entry], side[e]);
        EXPECT_EQ(ico[entry + 1], side[e]);
        EXPECT_EQ(ico[entry + 2], 16); // colours
        EXPECT_EQ(U16(ico, entry + 4), 1u);
        EXPECT_EQ(U16(ico, entry + 6), 4u);
        EXPECT_EQ(U32(ico, entry + 8), bytes[e]);
        EXPECT_EQ(U32(ico, entry + 12), offset[e]);

        size_t header = offset[e];
        EXPECT_EQ(U32(ico, header), 40u);
        EXPECT_EQ(U32(ico, header + 4), side[e]);
        EXPECT_EQ(U32(ico, header + 8), 2 * side[e]); // colour bitmap and mask
        EXPECT_EQ(U16(ico, header + 12), 1u);
        EXPECT_EQ(U16(ico, header + 14), 4u);
        EXPECT_EQ(U32(ico, header + 16), 0u);             // uncompressed
        EXPECT_EQ(U32(ico, header + 20), bytes[e] - 104); // bitmap and mask
        // Palette entries are blue, green, red, 0: entry 9 is pure red.
        EXPECT_EQ(U32(ico, header + 40 + 4 * 9), 0x00FF0000u);
        EXPECT_EQ(U32(ico, header + 40 + 4 * 15), 0x00FFFFFFu);
    }
}

// Every pixel and mask bit of both images decodes back to its map.
TEST(IcoMake, ProductIconPixelsRoundTrip) {
    std::vector<IconImage> images = {MustParse(ReadSourceFile("res/icon/Quillometer-32.txt")),
                                     MustParse(ReadSourceFile("res/icon/Quillometer-16.txt"))};
    Bytes ico = BuildIconFile(images);
    for (int e = 0; e < 2; ++e) {
        const IconImage& image = images[static_cast<size_t>(e)];
        int transparent = 0;
        for (int y = 0; y < image.Height; ++y)
            for (int x = 0; x < image.Width; ++x) {
                size_t i = static_cast<size_t>(y * image.Width + x);
                ASSERT_EQ(PixelAt(ico, e, x, y), image.Colour[i]) << e << " " << x << "," << y;
                ASSERT_EQ(MaskBitAt(ico, e, x, y), image.Transparent[i])
                    << e << " " << x << "," << y;
                transparent += image.Transparent[i];
            }
        // An icon with no clear or no opaque pixel would be a drawing mistake.
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, image.Width * image.Height);
    }
}

// A hand-made map where every position is known: the top row ends up last
// in the file, the first pixel of a byte is its high nibble, a transparent
// pixel is colour 0 with its mask bit set, and row padding stays zero.
TEST(IcoMake, SmallMapLayout) {
    IconImage image = MustParse(std::string("size 3 2\n") + Legend +
                                "r.w\n"
                                "kwr\n");
    Bytes ico = BuildIconFile({image});
    ASSERT_EQ(ico.size(), 6u + 16 + 40 + 64 + 2 * 4 + 2 * 4);
    EXPECT_EQ(ico[6], 3);
    EXPECT_EQ(ico[7], 2);
    size_t bits = 22 + 40 + 64;
    // Bottom row "kwr" first: 0x0F, 0x90; then the top row "r.w": 0x90, 0xF0.
    EXPECT_EQ(ico[bits + 0], 0x0F);
    EXPECT_EQ(ico[bits + 1], 0x90);
    EXPECT_EQ(ico[bits + 2], 0);
    EXPECT_EQ(ico[bits + 3], 0);
    EXPECT_EQ(ico[bits + 4], 0x90);
    EXPECT_EQ(ico[bits + 5], 0xF0);
    // Mask rows: bottom 000, top 010.
    size_t mask = bits + 8;
    EXPECT_EQ(U32(ico, mask), 0u);
    EXPECT_EQ(ico[mask + 4], 0x40);
    EXPECT_EQ(ico[mask + 5] | ico[mask + 6] | ico[mask + 7], 0);
}

// Mistakes in a map are refused with the line they are on.
TEST(IcoMake, MapErrorsNamed) {
    struct Case {
        std::string Text;
        std::string Message;
    };
    const Case cases[] = {
        {std::string("size 2 2\n") + Legend + "rw\nr\n", "line 7: the row has 1 pixels, not 2"},
        {std::string("size 2 2\n") + Legend + "rw\nrx\n", "line 7: 'x' is not in the legend"},
        {std::string("size 2 2\n") + Legend + "rw\n", "1 rows of pixels, the size says 2"},
        {std::string("size 2 1\n") + Legend + "rw\nrw\n", "line 7: more rows than the size says"},
        {std::string(Legend) + "rw\n", "line 5: pixels before the size"},
        {std::string("size 2 1\ncolour r 9\ncolour r 12\nrr\n"),
         "line 3: the character is already in the legend"},
        {std::string("size 2 1\ncolour r 16\nrr\n"),
         "line 2: colour needs a character and an index 0 to 15"},
        {std::string("size 0 1\n"), "line 1: size needs a width and a height of 1 to 256"},
        {std::string("size 2 1\npalette vga\nrr\n"), "line 2: unknown directive \"palette\""},
        {std::string("# nothing\n"), "no size line"},
    };
    for (const Case& c : cases) {
        IconImage image;
        std::string error;
        EXPECT_FALSE(ParsePixelMap(c.Text, image, error)) << c.Text;
        EXPECT_EQ(error, c.Message) << c.Text;
    }
}

// Comments, blank lines and CRLF line ends are passed over.
TEST(IcoMake, MapCommentsAndLineEnds) {
    IconImage image = MustParse("# a comment\r\n\r\nsize 2 1\r\ntransparent .\r\n"
                                "colour w 15 white\r\n.w\r\n");
    ASSERT_EQ(image.Width, 2);
    ASSERT_EQ(image.Height, 1);
    EXPECT_EQ(image.Colour, std::vector<uint8_t>({0, 15}));
    EXPECT_EQ(image.Transparent, std::vector<bool>({true, false}));
}
