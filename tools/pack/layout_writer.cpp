#include "layout_writer.h"

#include "config_writer.h"
#include "launcher/data_block.h"
#include "pack_error.h"
#include "pe_image.h"

namespace kvpack {

// The builder writes what the launcher's block reader looks for.
static_assert(BlockSearchStart == DataBlockSearchStart, "search start");
static_assert(BlockSearchWindow == DataBlockWindow, "search window");
static_assert(MaxConfigText == DataBlockMaxText, "text limit");

std::string BlockMarker() {
    // The launcher's own marker, made at run time.
    return std::string(reinterpret_cast<const char*>(DataBlockMarker()), DataBlockMarkerSize);
}

uint64_t MarkerOffsetFor(uint64_t stubSize) { return stubSize < BlockSearchStart ? BlockSearchStart : stubSize; }

namespace {

// A Windows program whose certificate table (data directory 4) is in use
// carries an Authenticode signature.
bool HasCertificateTable(const std::string& image) {
    if (!IsPeImage(image)) return false;
    const size_t optional = ReadLe32(image, 0x3C) + 24;
    if (image.size() < optional + 2) return false;
    const bool pe32Plus = ReadLe16(image, optional) == 0x20B;
    const size_t counts = optional + (pe32Plus ? 108 : 92);
    const size_t certificate = counts + 4 + 8 * DirectoryCertificates;
    if (image.size() < certificate + 8 || ReadLe32(image, counts) <= DirectoryCertificates) return false;
    return ReadLe32(image, certificate + 4) != 0;
}

}  // namespace

void CheckStub(const std::string& stub, const std::string& stubPath) {
    if (HasCertificateTable(stub))
        throw CPackError("stub '" + stubPath + "' is signed (it carries a certificate table); a data block " +
                         "appended behind the signature would break it. Pack with the unsigned stub and sign " +
                         "the finished launcher file");
    if (MarkerOffsetFor(stub.size()) > LastMarkerOffset)
        throw CPackError("stub '" + stubPath + "' is " + std::to_string(stub.size()) +
                         " bytes long; the launcher finds its data only up to offset " +
                         std::to_string(LastMarkerOffset) + ", so the stub may be at most that long");
    const std::string marker = BlockMarker();
    size_t at = stub.find(marker);
    if (at != std::string::npos)
        throw CPackError("stub '" + stubPath + "' already contains the marker bytes (at offset " +
                         std::to_string(at) + "); is it a launcher file rather than a stub?");
    if (stub.size() >= BlockSearchStart) {
        // The stub's last bytes run straight into the marker: a tail that is
        // the start of a marker would be found first.
        std::string joint = stub.substr(stub.size() - (marker.size() - 1)) + marker;
        at = joint.find(marker);
        if (at < marker.size() - 1)
            throw CPackError("stub '" + stubPath + "' ends with the first bytes of the marker; the launcher " +
                             "would find its data at the wrong place");
    }
}

uint64_t WriteLauncherHead(CPackFile& out, const std::string& stub, const std::string& stubPath,
                           const std::string& configText) {
    CheckStub(stub, stubPath);
    CheckConfigText(configText);
    out.Write(stub.data(), stub.size());
    uint64_t markerAt = MarkerOffsetFor(stub.size());
    if (markerAt > stub.size()) {
        std::string zeros(static_cast<size_t>(markerAt - stub.size()), '\0');
        out.Write(zeros.data(), zeros.size());
    }
    std::string block = BlockMarker();
    uint32_t length = static_cast<uint32_t>(configText.size());
    for (int i = 0; i < 4; ++i) block += static_cast<char>((length >> (8 * i)) & 0xFF);
    block += configText;
    out.Write(block.data(), block.size());
    return markerAt + block.size();
}

}  // namespace kvpack
