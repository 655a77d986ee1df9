// Following the process tree on Windows: a job object and its completion port.
#include "launcher/process_tree.h"

namespace {

// How often the job's count is looked at while no message arrives.
constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kInputMask = 0xFF;  // keys, mouse, posted, timer, paint, sent, hot keys
constexpr ULONG_PTR kJobKey = 1;

}  // namespace

void DispatchWaitMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_MOUSEMOVE || message.message == WM_LBUTTONDOWN || message.message == WM_LBUTTONUP)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

CProcessTreeJob::CProcessTreeJob() : job_(CreateJobObjectA(nullptr, nullptr)) {
    if (!job_) return;
    port_.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!port_) return;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association;
    association.CompletionKey = reinterpret_cast<PVOID>(kJobKey);
    association.CompletionPort = port_.Get();
    // Programs that ask to leave the job may do so rather than fail to start
    // their helpers; those helpers are then not waited for.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job_.Get(), JobObjectAssociateCompletionPortInformation, &association,
                                 sizeof association) ||
        !SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        port_.Reset();
}

bool CProcessTreeJob::Adopt(HANDLE process) { return Ready() && AssignProcessToJobObject(job_.Get(), process); }

bool CProcessTreeJob::Empty() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    if (!QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr))
        return false;
    return accounting.ActiveProcesses == 0;
}

void CProcessTreeJob::WaitUntilEmpty() {
    for (;;) {
        DWORD code = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED detail = nullptr;
        while (GetQueuedCompletionStatus(port_.Get(), &code, &key, &detail, 0)) {
            if (key == kJobKey && code == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) return;
        }
        if (Empty()) return;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMilliseconds, kInputMask) == WAIT_OBJECT_0)
            DispatchWaitMessages();
    }
}
