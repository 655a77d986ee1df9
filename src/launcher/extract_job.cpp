#include "launcher/extract_job.h"

#include "framework/message_box.h"
#include "launcher/configuration.h"
#include "launcher/data_block.h"
#include "launcher/launcher_app.h"
#include "launcher/launcher_paths.h"
#include "launcher/work_folder.h"
#include "launcher/work_parent.h"

CExtractJob::CExtractJob() {
    if (!GetModulePath(launcherPath)) {
        launcherPath.clear();
        AppMessageBox("Could not get module name");
    }
    if (auto* app = dynamic_cast<CLauncherApp*>(CWinApp::Current())) {
        workParent = app->workParent;
        const auto& arguments = app->Arguments();
        if (arguments.size() > 1) forwardedArguments.assign(arguments.begin() + 1, arguments.end());
    }
}

CExtractJob::~CExtractJob() = default;

std::string CExtractJob::ReadConfiguration() const { return ReadDataBlock(launcherPath); }

bool CExtractJob::IsNoWindowMode() const { return ParseConfiguration(ReadConfiguration()).prog == 0; }

std::string CExtractJob::NameWorkFolder(std::string* failure, CWorkFolderMark* mark) const {
    const WorkParentChoice parent = ChooseWorkParent(workParent);
    if (!parent.refusal.empty()) {
        if (failure) *failure = parent.refusal;
        return "";
    }
    return CreateWorkFolder(parent.folder, failure, mark);
}
