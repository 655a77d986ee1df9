#include "pe_resources.h"

#include <algorithm>
#include <map>

#include "pack_error.h"

namespace kvpack {

namespace {

constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr size_t kDirectoryHeader = 16;
constexpr size_t kDirectoryEntry = 8;
constexpr size_t kDataEntry = 16;
constexpr size_t kMaxItems = 65536;

class CTreeReader {
public:
    CTreeReader(const std::string& image, const PeLayout& layout, uint32_t rva)
        : image_(image), layout_(layout), rva_(rva) {}

    void ReadLevel(uint32_t offset, int level, ResourceItem path, std::vector<ResourceItem>& out) {
        const size_t at = Bytes(offset, kDirectoryHeader);
        const uint32_t count = uint32_t(ReadLe16(image_, at + 12)) + ReadLe16(image_, at + 14);
        const size_t entries = Bytes(offset + kDirectoryHeader, uint32_t(count * kDirectoryEntry));
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t nameField = ReadLe32(image_, entries + kDirectoryEntry * i);
            const uint32_t target = ReadLe32(image_, entries + kDirectoryEntry * i + 4);
            ResourceKey key = ReadKey(nameField, level);
            if (level == 0) path.type = key;
            if (level == 1) path.name = key;
            if (level == 2) path.language = key.id;
            const bool subdirectory = (target & kSubdirectoryBit) != 0;
            if (subdirectory != (level < 2))
                throw CPackError("the stub's resources are not laid out as type, name and language");
            if (subdirectory) {
                ReadLevel(target & ~kSubdirectoryBit, level + 1, path, out);
                continue;
            }
            const size_t entry = Bytes(target, kDataEntry);
            const uint32_t dataRva = ReadLe32(image_, entry);
            const uint32_t size = ReadLe32(image_, entry + 4);
            path.codePage = ReadLe32(image_, entry + 8);
            path.data = image_.substr(layout_.OffsetOf(dataRva, size), size);
            if (out.size() >= kMaxItems) throw CPackError("the stub has too many resources");
            out.push_back(path);
        }
    }

private:
    size_t Bytes(uint32_t offset, uint32_t count) const {
        if (offset & kSubdirectoryBit) throw CPackError("the stub's resource tree is damaged");
        return layout_.OffsetOf(rva_ + offset, count);
    }

    ResourceKey ReadKey(uint32_t field, int level) const {
        ResourceKey key;
        if (field & kSubdirectoryBit) {
            if (level == 2) throw CPackError("the stub's resources have a language given by name");
            key.isText = true;
            const size_t at = Bytes(field & ~kSubdirectoryBit, 2);
            const uint16_t length = ReadLe16(image_, at);
            const size_t chars = Bytes((field & ~kSubdirectoryBit) + 2, 2u * length);
            for (uint16_t i = 0; i < length; ++i) key.text += static_cast<char16_t>(ReadLe16(image_, chars + 2 * i));
        } else {
            if (field > 0xFFFF) throw CPackError("the stub's resource tree is damaged");
            key.id = static_cast<uint16_t>(field);
        }
        return key;
    }

    const std::string& image_;
    const PeLayout& layout_;
    uint32_t rva_;
};

// Names before numbers, each ascending: the order the loader searches in.
bool KeyBefore(const ResourceKey& a, const ResourceKey& b) {
    if (a.isText != b.isText) return a.isText;
    return a.isText ? a.text < b.text : a.id < b.id;
}

struct KeyLess {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const { return KeyBefore(a, b); }
};

using LanguageMap = std::map<uint16_t, const ResourceItem*>;
using NameMap = std::map<ResourceKey, LanguageMap, KeyLess>;
using TypeMap = std::map<ResourceKey, NameMap, KeyLess>;

}  // namespace

std::vector<ResourceItem> ReadResources(const std::string& image, const PeLayout& layout) {
    std::vector<ResourceItem> items;
    const uint32_t rva = layout.DirectoryRva(image, DirectoryResources);
    if (rva == 0) return items;
    CTreeReader(image, layout, rva).ReadLevel(0, 0, ResourceItem(), items);
    return items;
}

std::string BuildResourceSection(std::vector<ResourceItem> items, uint32_t rva) {
    TypeMap tree;
    for (const ResourceItem& item : items) {
        const ResourceItem*& slot = tree[item.type][item.name][item.language];
        if (slot) throw CPackError("two resources of the same type, name and language");
        slot = &item;
    }
    // Sizes first: directories, then data entries, then names, then data.
    size_t directories = 0, leaves = 0, names = 0;
    auto nameBytes = [](const ResourceKey& key) { return key.isText ? 2 + 2 * key.text.size() : 0; };
    directories += kDirectoryHeader + kDirectoryEntry * tree.size();
    for (const auto& [type, nameMap] : tree) {
        names += nameBytes(type);
        directories += kDirectoryHeader + kDirectoryEntry * nameMap.size();
        for (const auto& [name, languages] : nameMap) {
            names += nameBytes(name);
            directories += kDirectoryHeader + kDirectoryEntry * languages.size();
            leaves += languages.size();
        }
    }
    const size_t leafStart = directories;
    const size_t nameStart = leafStart + kDataEntry * leaves;
    size_t dataAt = AlignUp(static_cast<uint32_t>(nameStart + names), 8);

    std::string out(dataAt, '\0');
    size_t nextDirectory = 0, nextLeaf = leafStart, nextName = nameStart;
    auto writeDirectory = [&](size_t count) {
        const size_t at = nextDirectory;
        WriteLe16(out, at + 14, static_cast<uint16_t>(count));  // numbered entries, fixed up below
        nextDirectory += kDirectoryHeader + kDirectoryEntry * count;
        return at;
    };
    auto writeKey = [&](const ResourceKey& key) -> uint32_t {
        if (!key.isText) return key.id;
        const size_t at = nextName;
        WriteLe16(out, at, static_cast<uint16_t>(key.text.size()));
        for (size_t i = 0; i < key.text.size(); ++i) WriteLe16(out, at + 2 + 2 * i, key.text[i]);
        nextName += 2 + 2 * key.text.size();
        return static_cast<uint32_t>(at) | kSubdirectoryBit;
    };
    auto setCounts = [&](size_t at, size_t textCount, size_t total) {
        WriteLe16(out, at + 12, static_cast<uint16_t>(textCount));
        WriteLe16(out, at + 14, static_cast<uint16_t>(total - textCount));
    };
    auto textCount = [](const auto& map) {
        size_t n = 0;
        for (const auto& entry : map) n += entry.first.isText ? 1 : 0;
        return n;
    };

    // Directories are written level by level: the root, every type's, then
    // every name's, so that each entry can point to the next free place.
    const size_t root = writeDirectory(tree.size());
    setCounts(root, textCount(tree), tree.size());
    std::vector<std::pair<size_t, const NameMap*>> typeDirectories;
    size_t index = 0;
    for (const auto& [type, nameMap] : tree) {
        const size_t at = writeDirectory(nameMap.size());
        setCounts(at, textCount(nameMap), nameMap.size());
        WriteLe32(out, root + kDirectoryHeader + kDirectoryEntry * index, writeKey(type));
        WriteLe32(out, root + kDirectoryHeader + kDirectoryEntry * index + 4, static_cast<uint32_t>(at) | kSubdirectoryBit);
        typeDirectories.emplace_back(at, &nameMap);
        ++index;
    }
    std::string data;
    for (const auto& [typeAt, nameMap] : typeDirectories) {
        index = 0;
        for (const auto& [name, languages] : *nameMap) {
            const size_t at = writeDirectory(languages.size());
            setCounts(at, 0, languages.size());
            WriteLe32(out, typeAt + kDirectoryHeader + kDirectoryEntry * index, writeKey(name));
            WriteLe32(out, typeAt + kDirectoryHeader + kDirectoryEntry * index + 4,
                      static_cast<uint32_t>(at) | kSubdirectoryBit);
            size_t languageIndex = 0;
            for (const auto& [language, item] : languages) {
                const size_t leaf = nextLeaf;
                nextLeaf += kDataEntry;
                WriteLe32(out, at + kDirectoryHeader + kDirectoryEntry * languageIndex, language);
                WriteLe32(out, at + kDirectoryHeader + kDirectoryEntry * languageIndex + 4,
                          static_cast<uint32_t>(leaf));
                WriteLe32(out, leaf, rva + static_cast<uint32_t>(dataAt + data.size()));
                WriteLe32(out, leaf + 4, static_cast<uint32_t>(item->data.size()));
                WriteLe32(out, leaf + 8, item->codePage);
                data += item->data;
                data.resize(AlignUp(static_cast<uint32_t>(data.size()), 8), '\0');
                ++languageIndex;
            }
            ++index;
        }
    }
    return out + data;
}

std::string ReplaceResources(const std::string& original, const std::vector<ResourceItem>& items) {
    std::string image = original;
    PeLayout layout = ReadPeLayout(image, "stub");
    if (layout.DirectoryRva(image, DirectoryCertificates) != 0)
        throw CPackError("the stub is signed; brand an unsigned stub and sign the launcher file afterwards");
    const uint64_t end = layout.EndOfSectionData();
    if (image.size() != end)
        throw CPackError("the stub carries " + std::to_string(image.size() - end) +
                         " bytes behind its last section (debug symbols or other data); kvsfx-pack does not "
                         "brand such a stub");
    const uint32_t resourceRva = layout.DirectoryRva(image, DirectoryResources);
    PeSection* holder = nullptr;
    for (PeSection& s : layout.sections)
        if (resourceRva != 0 && s.virtualAddress == resourceRva) holder = &s;
    if (resourceRva != 0 && !holder)
        throw CPackError("the stub's resources do not begin a section of their own; kvsfx-pack does not "
                         "brand such a stub");

    const PeSection& last = layout.sections.back();
    const bool lastInFile = last.rawSize == 0 || uint64_t(last.rawOffset) + last.rawSize == end;
    PeSection target;
    // Rewritten in place only when nothing else lives in that section.
    bool sharedSection = false;
    for (uint32_t index = 0; holder && index < layout.directoryCount; ++index) {
        const uint32_t rva = layout.DirectoryRva(image, static_cast<int>(index));
        if (static_cast<int>(index) != DirectoryResources && rva >= holder->virtualAddress &&
            rva - holder->virtualAddress < std::max(holder->virtualSize, holder->rawSize))
            sharedSection = true;
    }
    const bool inPlace =
        holder && holder == &layout.sections.back() && lastInFile && last.rawSize > 0 && !sharedSection;
    if (inPlace) {
        target = *holder;  // rewritten in place
        image.resize(target.rawOffset);
    } else {
        // A new last section; the old resources stay behind, unused, under another name.
        const size_t headerAt = layout.sectionTableOffset + SectionHeaderSize * layout.sections.size();
        uint64_t firstData = layout.sizeOfHeaders;
        for (const PeSection& s : layout.sections)
            if (s.rawSize > 0 && s.rawOffset < firstData) firstData = s.rawOffset;
        if (headerAt + SectionHeaderSize > firstData)
            throw CPackError("the stub's headers have no room for another section; kvsfx-pack does not brand "
                             "such a stub");
        target.name = ".rsrc";
        target.headerOffset = headerAt;
        target.virtualAddress =
            AlignUp(last.virtualAddress + std::max(last.virtualSize, last.rawSize), layout.sectionAlignment);
        target.rawOffset = AlignUp(static_cast<uint32_t>(end), layout.fileAlignment);
        image.resize(target.rawOffset, '\0');
        std::string header(SectionHeaderSize, '\0');
        header.replace(0, 5, ".rsrc");
        image.replace(headerAt, SectionHeaderSize, header);
        WriteLe32(image, headerAt + 36, 0x40000040u);  // initialised data, readable
        WriteLe16(image, layout.coffOffset + 2, static_cast<uint16_t>(layout.sections.size() + 1));
        if (holder) image.replace(holder->headerOffset, 8, std::string(".rsrc_0\0", 8));
    }
    const std::string section = BuildResourceSection(items, target.virtualAddress);
    const uint32_t rawSize = AlignUp(static_cast<uint32_t>(section.size()), layout.fileAlignment);
    image += section;
    image.resize(target.rawOffset + rawSize, '\0');
    WriteLe32(image, target.headerOffset + 8, static_cast<uint32_t>(section.size()));
    WriteLe32(image, target.headerOffset + 12, target.virtualAddress);
    WriteLe32(image, target.headerOffset + 16, rawSize);
    WriteLe32(image, target.headerOffset + 20, target.rawOffset);

    uint32_t imageEnd = target.virtualAddress + static_cast<uint32_t>(section.size());
    for (const PeSection& s : layout.sections)
        if (!inPlace || &s != holder)
            imageEnd = std::max(imageEnd, s.virtualAddress + std::max(s.virtualSize, 1u));
    WriteLe32(image, layout.sizeOfImageOffset, AlignUp(imageEnd, layout.sectionAlignment));
    WriteLe32(image, layout.directoryOffset + 8 * DirectoryResources, target.virtualAddress);
    WriteLe32(image, layout.directoryOffset + 8 * DirectoryResources + 4, static_cast<uint32_t>(section.size()));
    WriteLe32(image, layout.checksumOffset, 0);
    return image;
}

}  // namespace kvpack
