// Icon files (.ico): the directory and the images it holds, checked so that a
// damaged file is refused before anything is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpack {

struct IconImage {
    uint8_t width = 0;   // 0 means 256
    uint8_t height = 0;  // 0 means 256
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    std::string data;    // the image as stored: a BITMAPINFOHEADER bitmap or a PNG file
};

// Reads every image of an .ico file's bytes; throws CPackError (naming
// what) for a file with no images, a directory or image beyond the end,
// or an image that is neither a bitmap nor a PNG.
std::vector<IconImage> ReadIconFile(const std::string& bytes, const std::string& what);

// "16x16 32-bit" style text for one image.
std::string DescribeIconImage(const IconImage& image);

}  // namespace kvpack
