#include "ico_file.h"

#include "pack_error.h"
#include "pe_image.h"

namespace kvpack {

namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kEntrySize = 16;
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

bool IsPng(const std::string& data) { return data.compare(0, 8, std::string(kPngSignature, 8)) == 0; }

}  // namespace

std::vector<IconImage> ReadIconFile(const std::string& bytes, const std::string& what) {
    if (bytes.size() < kHeaderSize || ReadLe16(bytes, 0) != 0 || ReadLe16(bytes, 2) != 1)
        throw CPackError("'" + what + "' is not an icon file (.ico)");
    const uint16_t count = ReadLe16(bytes, 4);
    if (count == 0) throw CPackError("'" + what + "' holds no images");
    if (kHeaderSize + kEntrySize * count > bytes.size())
        throw CPackError("'" + what + "' is cut short: its directory names " + std::to_string(count) +
                         " images but the file ends inside it");
    std::vector<IconImage> images;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t entry = kHeaderSize + kEntrySize * i;
        IconImage image;
        image.width = static_cast<uint8_t>(bytes[entry]);
        image.height = static_cast<uint8_t>(bytes[entry + 1]);
        image.colorCount = static_cast<uint8_t>(bytes[entry + 2]);
        image.planes = ReadLe16(bytes, entry + 4);
        image.bitCount = ReadLe16(bytes, entry + 6);
        const uint32_t size = ReadLe32(bytes, entry + 8);
        const uint32_t offset = ReadLe32(bytes, entry + 12);
        const std::string number = "image " + std::to_string(i + 1) + " of '" + what + "'";
        if (size == 0 || offset < kHeaderSize + kEntrySize * count || offset > bytes.size() ||
            size > bytes.size() - offset)
            throw CPackError(number + " claims " + std::to_string(size) + " bytes at offset " +
                             std::to_string(offset) + ", beyond the file's " + std::to_string(bytes.size()) +
                             " bytes");
        image.data = bytes.substr(offset, size);
        if (!IsPng(image.data) && (image.data.size() < 40 || ReadLe32(image.data, 0) != 40))
            throw CPackError(number + " is neither a bitmap nor a PNG image");
        images.push_back(std::move(image));
    }
    return images;
}

std::string DescribeIconImage(const IconImage& image) {
    const int width = image.width ? image.width : 256;
    const int height = image.height ? image.height : 256;
    std::string text = std::to_string(width) + "x" + std::to_string(height);
    if (image.bitCount) text += " " + std::to_string(image.bitCount) + "-bit";
    if (IsPng(image.data)) text += " PNG";
    return text;
}

}  // namespace kvpack
