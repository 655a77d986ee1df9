#include "launcher/data_block.h"

#include "framework/message_box.h"
#include "framework/wait_cursor.h"
#include "zip/zip_fields.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

struct Marker {
    unsigned char bytes[DataBlockMarkerSize];
};

Marker BuildMarker() {
    // Derived through a volatile value so that the compiler cannot fold the
    // marker into a constant of the program image.
    static volatile unsigned char key = 0xA5;
    const unsigned char k = key;
    const unsigned char low = static_cast<unsigned char>(k ^ 0xAE);   // 0x0B
    const unsigned char high = static_cast<unsigned char>(k ^ 0x0A);  // 0xAF
    return Marker{{low, low, high, high, low, low}};
}

// Reads the length field and the text behind a marker that ends at `offset`.
// False for a length above the limit or a block cut short.
bool ReadText(CBlockFile& file, uint64_t offset, std::string& text) {
    unsigned char length[4];
    if (file.ReadAt(offset, length, sizeof length) != sizeof length) return false;
    const uint32_t size = ZipField::Get32(length);
    if (size > DataBlockMaxText) return false;
    char buffer[DataBlockMaxText + 1] = {};
    if (file.ReadAt(offset + sizeof length, buffer, size) != size) return false;
    text.assign(buffer);  // up to the first zero byte
    return true;
}

}  // namespace

const unsigned char* DataBlockMarker() {
    static const Marker marker = BuildMarker();
    return marker.bytes;
}

std::string ReadDataBlock(const std::string& launcherPath) {
    CWaitCursor waitCursor;
    CBlockFile file;
    if (!file.Open(launcherPath)) return std::string();

    // Only the bytes read are searched, so the buffer is not cleared first
    // (clearing would touch every page of it even for a short file).
    std::unique_ptr<unsigned char[]> window(new (std::nothrow) unsigned char[DataBlockWindow]);
    if (!window) return std::string();
    const size_t count = file.ReadAt(DataBlockSearchStart, window.get(), DataBlockWindow);
    const unsigned char* marker = DataBlockMarker();
    const unsigned char* begin = window.get();
    const unsigned char* end = begin + count;
    const unsigned char* found = std::search(begin, end, marker, marker + DataBlockMarkerSize);

    std::string text;
    if (found == end ||
        !ReadText(file, DataBlockSearchStart + static_cast<uint64_t>(found - begin) + DataBlockMarkerSize, text)) {
        AppMessageBox("Data segment not found.");
        return std::string();
    }
    return text;
}
