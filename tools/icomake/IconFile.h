// Windows icon files (.ico) from text pixel maps.
//
// A pixel map is plain text, one character per pixel, so that the icon can be
// edited and reviewed like any source:
//
//   # comment
//   size 32 32
//   transparent .
//   colour k 0 black
//   colour w 15 white
//   ....kkkk....                 (one row per line, top row first)
//
// "colour C N" makes the character C stand for entry N (0 to 15) of the
// standard 16-colour palette; "transparent C" makes C a pixel that lets the
// screen show through. A line with a space is a directive, any other
// non-empty, non-comment line is a row of pixels.
//
// The icon file holds its images in the order given, each the classic way: a
// BITMAPINFOHEADER (its height doubled for the colour and mask bitmaps), the
// 16-entry palette, the 4-bit colour bitmap and the 1-bit AND mask, both
// bottom row first and each row padded to 4 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IconImage {
    int Width;
    int Height;
    // Palette index of every pixel, row by row from the top; 0 where transparent.
    std::vector<uint8_t> Colour;
    // The AND-mask bit of every pixel: true where the screen shows through.
    std::vector<bool> Transparent;
};

// The standard 16-colour palette as 0xRRGGBB: black, maroon, green, olive,
// navy, purple, teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua,
// white.
extern const uint32_t StandardPalette[16];

// Reads one pixel map. On failure returns false and sets error to a message
// naming the line.
bool ParsePixelMap(const std::string& text, IconImage& image, std::string& error);

// Bytes of one image inside an icon file: header, palette, colour bitmap, mask.
uint32_t IconImageBytes(const IconImage& image);

// The whole .ico file: directory, then each image in order.
std::vector<uint8_t> BuildIconFile(const std::vector<IconImage>& images);
