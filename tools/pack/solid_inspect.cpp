#include "solid_inspect.h"

#include <memory>

#include "framework/exception.h"
#include "launcher/configuration.h"
#include "solid/solid_member_writer.h"
#include "solid/solid_payload.h"
#include "zip/zip_exception.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_reader.h"
#include "zip/zip_worker_thread.h"
#include "zip_scan.h"

namespace kvpack {

namespace {

// Keeps each member's header; drops its data.
class CMemberCollector : public CTarMemberSink {
public:
    explicit CMemberCollector(std::vector<CTarMember>& into) : into(into) {}
    void BeginMember(const CTarMember& member) override { into.push_back(member); }
    void MemberData(const unsigned char*, size_t) override {}
    void EndMember() override {}

private:
    std::vector<CTarMember>& into;
};

std::string Named(const std::string& name, CException* error) {
    const std::string why = DescribeReaderError(error);
    error->Delete();
    return name.empty() ? why : "'" + name + "': " + why;
}

}  // namespace

std::string ReadSolidPayload(const std::string& path, bool usePassword, std::vector<CTarMember>* members,
                             const std::string& folder) {
    CZipReader archive;
    CSolidPayload payload;
    try {
        archive.OpenArchive(path, ModeOpenReadOnly, 0);
        payload.Open(archive, path, usePassword ? LauncherArchivePassword : "");
        archive.CloseArchive(0, false);
    } catch (CException* error) {
        archive.CloseArchive(1, false);
        const std::string name = error->IsKindOf(RUNTIME_CLASS(CZipException))
                                     ? static_cast<CZipException*>(error)->fileName
                                     : std::string();
        return Named(name, error);
    }
    // Members are collected per part and joined in payload order.
    std::vector<std::vector<CTarMember>> perPart(payload.Parts().size());
    CZipOutputTree tree;
    const auto maker = [&](int part) -> std::unique_ptr<CTarMemberSink> {
        if (!folder.empty()) return std::make_unique<CSolidMemberWriter>(tree, folder);
        return std::make_unique<CMemberCollector>(perPart[static_cast<size_t>(part)]);
    };
    ExtractFailure failure;
    if (payload.Extract(maker, CZipWorkerThread::ExtractionWorkers(), nullptr, failure) == ExtractResult::Failed)
        return Named(failure.name, failure.error);
    if (members)
        for (auto& part : perPart) members->insert(members->end(), part.begin(), part.end());
    return "";
}

}  // namespace kvpack
