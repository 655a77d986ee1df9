#include "pe_branding.h"

#include <algorithm>
#include <set>

#include "command_text.h"
#include "ico_file.h"
#include "pack_error.h"
#include "pack_fs.h"
#include "pe_image.h"
#include "pe_resources.h"
#include "version_info.h"

namespace kvpack {

namespace {

constexpr size_t kGroupHeader = 6;
constexpr size_t kGroupEntry = 14;

bool IsId(const ResourceKey& key, uint16_t id) { return !key.isText && key.id == id; }

ResourceItem* FindItem(std::vector<ResourceItem>& items, uint16_t type, int name) {
    for (ResourceItem& item : items)
        if (IsId(item.type, type) && (name < 0 || IsId(item.name, static_cast<uint16_t>(name)))) return &item;
    return nullptr;
}

// The icon images named by a group resource, in its order.
std::vector<uint16_t> GroupIconIds(const std::string& group) {
    if (group.size() < kGroupHeader || ReadLe16(group, 2) != 1) throw CPackError("the stub's icon group is damaged");
    const uint16_t count = ReadLe16(group, 4);
    if (kGroupHeader + kGroupEntry * count > group.size()) throw CPackError("the stub's icon group is damaged");
    std::vector<uint16_t> ids;
    for (uint16_t i = 0; i < count; ++i) ids.push_back(ReadLe16(group, kGroupHeader + kGroupEntry * i + 12));
    return ids;
}

void ReplaceIcon(std::vector<ResourceItem>& items, const std::vector<IconImage>& images) {
    ResourceItem* group = FindItem(items, ResourceGroupIcon, StubIconGroup);
    if (!group) throw CPackError("the stub has no icon group " + std::to_string(StubIconGroup) + " to replace");
    const uint16_t language = group->language;
    const uint32_t codePage = group->codePage;
    const std::vector<uint16_t> oldIds = GroupIconIds(group->data);
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const ResourceItem& item) {
                                   return IsId(item.type, ResourceIcon) && !item.name.isText &&
                                          std::find(oldIds.begin(), oldIds.end(), item.name.id) != oldIds.end();
                               }),
                items.end());
    std::set<uint16_t> used;
    for (const ResourceItem& item : items)
        if (IsId(item.type, ResourceIcon) && !item.name.isText) used.insert(item.name.id);

    std::string groupData(kGroupHeader, '\0');
    WriteLe16(groupData, 2, 1);
    WriteLe16(groupData, 4, static_cast<uint16_t>(images.size()));
    uint16_t next = 1;
    for (const IconImage& image : images) {
        while (used.count(next)) ++next;
        if (next == 0) throw CPackError("no free icon numbers left in the stub");
        ResourceItem icon;
        icon.type.id = ResourceIcon;
        icon.name.id = next;
        icon.language = language;
        icon.codePage = codePage;
        icon.data = image.data;
        items.push_back(icon);

        std::string entry(kGroupEntry, '\0');
        entry[0] = static_cast<char>(image.width);
        entry[1] = static_cast<char>(image.height);
        entry[2] = static_cast<char>(image.colorCount);
        WriteLe16(entry, 4, image.planes);
        WriteLe16(entry, 6, image.bitCount);
        WriteLe32(entry, 8, static_cast<uint32_t>(image.data.size()));
        WriteLe16(entry, 12, next);
        groupData += entry;
        used.insert(next++);
    }
    ResourceItem* groupAgain = FindItem(items, ResourceGroupIcon, StubIconGroup);
    groupAgain->data = groupData;
}

// Bounds of the value of attribute `name` inside the first element `element`.
bool FindAttribute(const std::string& text, const std::string& element, const std::string& name, size_t& begin,
                   size_t& end) {
    const size_t start = text.find("<" + element);
    if (start == std::string::npos) return false;
    const size_t close = text.find('>', start);
    if (close == std::string::npos) return false;
    size_t at = start + element.size() + 1;
    while (at < close) {
        at = text.find(name, at);
        if (at == std::string::npos || at >= close) return false;
        size_t pos = at + name.size();
        const bool wordStart = text[at - 1] == ' ' || text[at - 1] == '\t' || text[at - 1] == '\r' || text[at - 1] == '\n';
        while (pos < close && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (wordStart && pos < close && text[pos] == '=') {
            ++pos;
            while (pos < close && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
            if (pos < close && (text[pos] == '"' || text[pos] == '\'')) {
                const size_t valueEnd = text.find(text[pos], pos + 1);
                if (valueEnd == std::string::npos || valueEnd > close) return false;
                begin = pos + 1;
                end = valueEnd;
                return true;
            }
        }
        at += name.size();
    }
    return false;
}

}  // namespace

std::string SetExecutionLevel(const std::string& manifest, const std::string& level) {
    size_t begin = 0, end = 0;
    if (!FindAttribute(manifest, "requestedExecutionLevel", "level", begin, end))
        throw CPackError("the stub's manifest requests no execution level; kvsfx-pack does not change such a manifest");
    return manifest.substr(0, begin) + level + manifest.substr(end);
}

std::string ExecutionLevel(const std::string& manifest) {
    size_t begin = 0, end = 0;
    return FindAttribute(manifest, "requestedExecutionLevel", "level", begin, end) ? manifest.substr(begin, end - begin)
                                                                                     : "";
}

std::string BrandStub(const std::string& stub, const BrandingOptions& options, const std::string& stubPath) {
    if (!IsPeImage(stub))
        throw CPackError("--icon, --version-info and --elevate apply to the Windows stub only; '" + stubPath +
                             "' is not a Windows program",
                         ExitUsage);
    for (const auto& [key, value] : options.versionStrings) {
        const auto& keys = VersionStringKeys();
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            throw CPackError("--version-info does not know the key '" + key + "'", ExitUsage);
    }
    std::vector<IconImage> images;
    if (!options.iconPath.empty()) images = ReadIconFile(ReadFileBytes(options.iconPath), options.iconPath);

    const PeLayout layout = ReadPeLayout(stub, stubPath);
    std::vector<ResourceItem> items = ReadResources(stub, layout);
    if (!images.empty()) ReplaceIcon(items, images);
    if (!options.versionStrings.empty()) {
        ResourceItem* version = FindItem(items, ResourceVersion, -1);
        if (!version) throw CPackError("the stub has no version resource to change");
        VersionNode root = ReadVersionInfo(version->data);
        std::vector<std::pair<std::string, std::u16string>> strings;
        for (const auto& [key, value] : options.versionStrings) strings.emplace_back(key, Utf16FromCommandLine(value));
        SetVersionStrings(root, strings);
        version->data = WriteVersionInfo(root);
    }
    if (options.elevate) {
        ResourceItem* manifest = FindItem(items, ResourceManifest, -1);
        if (!manifest) throw CPackError("the stub has no manifest to change");
        manifest->data = SetExecutionLevel(manifest->data, "requireAdministrator");
    }
    return ReplaceResources(stub, items);
}

std::vector<std::string> DescribeBranding(const std::string& image) {
    std::vector<std::string> lines;
    if (!IsPeImage(image)) return lines;
    std::vector<ResourceItem> items;
    try {
        items = ReadResources(image, ReadPeLayout(image, "launcher file"));
    } catch (const CPackError& e) {
        lines.push_back(std::string("Resources:     unreadable (") + e.what() + ")");
        return lines;
    }
    std::string icons;
    if (const ResourceItem* group = FindItem(items, ResourceGroupIcon, StubIconGroup)) {
        try {
            const std::vector<uint16_t> ids = GroupIconIds(group->data);
            for (size_t i = 0; i < ids.size(); ++i) {
                IconImage entry;
                const size_t at = kGroupHeader + kGroupEntry * i;
                entry.width = static_cast<uint8_t>(group->data[at]);
                entry.height = static_cast<uint8_t>(group->data[at + 1]);
                entry.bitCount = ReadLe16(group->data, at + 6);
                if (const ResourceItem* icon = FindItem(items, ResourceIcon, ids[i])) entry.data = icon->data;
                icons += (icons.empty() ? "" : ", ") + DescribeIconImage(entry);
            }
        } catch (const CPackError&) {
            icons = "damaged";
        }
    }
    lines.push_back("Icon:          " + (icons.empty() ? std::string("none") : icons));
    if (ResourceItem* version = FindItem(items, ResourceVersion, -1)) {
        try {
            const VersionNode root = ReadVersionInfo(version->data);
            lines.push_back("Version:       " + FixedFileVersion(root));
            for (const auto& [key, value] : VersionStrings(root)) lines.push_back("  " + key + ": " + value);
        } catch (const CPackError&) {
            lines.push_back("Version:       damaged");
        }
    }
    const ResourceItem* manifest = FindItem(items, ResourceManifest, -1);
    const std::string level = manifest ? ExecutionLevel(manifest->data) : "";
    lines.push_back("Execution:     " + (level.empty() ? std::string("(not requested)") : level));
    return lines;
}

}  // namespace kvpack
