#include "solid/solid_member_writer.h"

#include <ctime>

#include "zip/zip_exception.h"
#include "zip/zip_host.h"
#include "zip/zip_name_text.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_target_name.h"

CSolidMemberWriter::CSolidMemberWriter(CZipOutputTree& tree, std::string root) : tree(tree), root(std::move(root)) {
    TrimTrailingSeparators(this->root);
}

CSolidMemberWriter::~CSolidMemberWriter() {
    if (!fileOpen) return;
    try {
        file.Close();
    } catch (CException* error) {
        error->Delete();
    }
}

uint32_t CSolidMemberWriter::AttributesFor(bool isFolder, uint32_t mode) {
    uint32_t dos = isFolder ? 0x10 : 0x20;
    if ((mode & 0200) == 0) dos |= 0x01;  // read-only
    const uint32_t unixMode = (isFolder ? 0x4000 : 0x8000) | (mode & 07777);
    return ZipHost::FinishAttributes(dos, 3, (unixMode << 16) | dos, true);
}

void CSolidMemberWriter::BeginMember(const CTarMember& member) {
    // Either separator separates, as in ZIP entry names.
    std::string name = member.name;
    for (char& c : name)
        if (c == '/' || c == '\\') c = ZipHost::Separator;
    if (!ZipHost::CanUseName(name, ZipText::IsValidUtf8(name.data(), name.size()), false))
        ThrowZipError(ErrBadEntryName, ZipText::ForDisplay(member.name.data(), member.name.size()));
    const TargetPlacement placement = CheckTargetName(name, true, member.isFolder, member.name);
    const std::string relative = AppendedPart(name, true);
    const uint32_t attributes = AttributesFor(member.isFolder, member.mode);
    if (member.isFolder) {
        if (placement == TargetPlacement::Below) {
            tree.ForceFolder(root, relative);
            tree.SetFolderAttributes(root, relative, attributes);
        }
        return;
    }
    tree.CreateOutputFile(root, relative, root + ZipHost::Separator + relative, attributes, file);
    fileOpen = true;
    fileTime = member.mtime;
    fileAttributes = attributes;
}

void CSolidMemberWriter::MemberData(const unsigned char* data, size_t size) {
    if (fileOpen) file.Write(data, static_cast<uint32_t>(size));
}

void CSolidMemberWriter::EndMember() {
    if (!fileOpen) return;
    fileOpen = false;
    // A time or mode that cannot be set leaves the data complete: no failure.
    CZipOutputTree::FinishFile(file, static_cast<time_t>(fileTime), fileAttributes);
}
