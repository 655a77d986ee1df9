// The resource tree of a Windows program (type, name, language, data), read
// into a flat list and written back as a new resource section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

namespace kvpack {

constexpr uint16_t ResourceIcon = 3;
constexpr uint16_t ResourceGroupIcon = 14;
constexpr uint16_t ResourceVersion = 16;
constexpr uint16_t ResourceManifest = 24;

// A resource type or name: a number, or a UTF-16 string when isText.
struct ResourceKey {
    bool isText = false;
    uint16_t id = 0;
    std::u16string text;
    bool operator==(const ResourceKey& other) const {
        return isText == other.isText && (isText ? text == other.text : id == other.id);
    }
};

struct ResourceItem {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

// Reads the resource tree of the image; throws CPackError for any layout
// other than the usual three levels (type, name, language) or for entries
// that point outside the image.
std::vector<ResourceItem> ReadResources(const std::string& image, const PeLayout& layout);

// The resource section's bytes for the items, placed at rva: directories
// sorted as the loader expects (names first, then numbers ascending).
std::string BuildResourceSection(std::vector<ResourceItem> items, uint32_t rva);

// Replaces the image's resources with a section built from items: the old
// resource section is rewritten in place when it is the image's last one,
// otherwise a new last section takes the resources. Sizes, the data
// directory and SizeOfImage are set; the checksum field is set to zero.
// Throws CPackError for layouts it does not handle (data behind the last
// section, no room for another section header, a signature).
std::string ReplaceResources(const std::string& image, const std::vector<ResourceItem>& items);

}  // namespace kvpack
