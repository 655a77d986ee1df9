// Writes the members of a solid payload's tar stream below a target folder,
// through the output tree that ZIP entries go through: the same name checks
// (no "..", no absolute names, names this platform refuses: error 117; names
// it cannot use: 118), folders made where missing, files created new, and
// each file's time and mode set through its handle when its data is done.
#pragma once

#include <cstdint>
#include <string>

#include "solid/tar_reader.h"
#include "zip/zip_file.h"

class CZipOutputTree;

class CSolidMemberWriter : public CTarMemberSink {
public:
    CSolidMemberWriter(CZipOutputTree& tree, std::string root);
    // A file left open (a failure inside its data) is closed as it is.
    ~CSolidMemberWriter() override;
    CSolidMemberWriter(const CSolidMemberWriter&) = delete;
    CSolidMemberWriter& operator=(const CSolidMemberWriter&) = delete;

    void BeginMember(const CTarMember& member) override;
    void MemberData(const unsigned char* data, size_t size) override;
    void EndMember() override;

    // The attributes an entry of this `mode` gets on this platform.
    static uint32_t AttributesFor(bool isFolder, uint32_t mode);

private:
    CZipOutputTree& tree;
    std::string root;
    CZipFile file;
    bool fileOpen = false;
    int64_t fileTime = 0;
    uint32_t fileAttributes = 0;
};
