#include "solid/solid_payload.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <new>

#include "solid/solid_pipe.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_exception.h"
#include "zip/zip_progress.h"
#include "zip/zip_reader.h"
#include "zip/zip_worker_thread.h"

namespace {

// How long the reading thread sleeps at most while the workers decode, so
// that the window and stop requests are seen in time.
constexpr unsigned kIdleWaitMs = 50;

[[noreturn]] void Refuse(const std::string& name, const std::string& why) {
    ThrowZipError(ErrDamagedArchive, name, why);
}

// One part being decoded: its own reader of the archive, its pipe, its tar
// stream and the sink of its members; and the worker that decodes it.
struct ActivePart {
    const CSolidPayload::Part* part = nullptr;
    int order = 0;  // its place in the archive
    bool last = false;
    CZipReader reader;
    uint64_t unread = 0;
    uint64_t decoded = 0;
    std::unique_ptr<CSolidPipe> pipe;
    std::unique_ptr<CTarMemberSink> sink;
    std::unique_ptr<CTarReader> tar;
    CZipWorkerThread worker;
    bool inline_ = false;  // decoded by the reading thread

    ~ActivePart() {
        if (pipe) pipe->Stop();
        worker.Join();
        tar.reset();
        sink.reset();
        try {
            if (reader.EntryState() == CZipReader::EntryReading) reader.CloseEntry(nullptr, true);
            reader.CloseArchive(1, false);
        } catch (CException* error) {
            error->Delete();
        }
    }
};

// Reads the part's bytes into the pipe, lets it decode where no worker
// does, feeds what it decoded to the tar stream, and ends the part at the
// stream's end. True when anything moved; `finished` once the part is done.
// Failures are thrown.
bool Pump(ActivePart& a, CZipProgress* progress, bool& cancelled, bool& finished) {
    bool moved = false;
    while (a.unread > 0) {
        unsigned char* slot = a.pipe->InputSlot();
        if (!slot) break;
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(CSolidPipe::InChunkSize, a.unread));
        if (a.reader.ReadEntry(slot, want) != want) Refuse(a.part->name, "the part ends before its size");
        a.unread -= want;
        a.pipe->PublishInput(want, a.unread == 0);
        moved = true;
    }
    if (a.inline_) moved |= a.pipe->Step();

    const CSolidPipe::State state = a.pipe->GetState();
    const unsigned char* data;
    size_t size;
    while (a.pipe->TakeOutput(data, size)) {
        a.decoded += size;
        if (a.decoded > a.part->layout.uncompressedSize) Refuse(a.part->name, "the xz stream holds more than it declares");
        a.tar->Feed(data, size);
        a.pipe->ReleaseOutput();
        moved = true;
        if (progress && !progress->Advance(static_cast<int32_t>(size))) {
            cancelled = true;
            return moved;
        }
    }
    if (state == CSolidPipe::Failed) Refuse(a.part->name, CXzPartDecoder::Describe(a.pipe->Failure()));
    if (state != CSolidPipe::Ended) return moved;
    if (a.pipe->InputLeft() || a.unread > 0) Refuse(a.part->name, "data follows the xz stream");
    a.worker.Join();
    // The entry's CRC-32 covers the part's stored bytes.
    if (a.reader.CloseEntry(nullptr, false) != 1) Refuse(a.part->name, "the part ends before its size");
    a.tar->Finish(!a.last);
    finished = true;
    return true;
}

}  // namespace

std::string SolidPartName(int index, int count) {
    if (count == 1) return "payload.tar.xz";
    std::string number = std::to_string(index + 1);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return "payload.tar.xz." + number;
}

void CSolidPayload::Open(CZipReader& archive, const std::string& path, const std::string& passwordText) {
    archivePath = path;
    password = passwordText;
    parts.clear();
    const int count = archive.GetCount();
    if (count == 0) Refuse("payload.tar.xz", "the archive holds no solid payload");
    if (!password.empty()) archive.SetArchivePassword(password.c_str());
    for (int i = 0; i < count; ++i) {
        CZipEntryHeader entry;
        archive.GetEntryInfo(entry, i);
        Part part;
        part.entry = i;
        part.name = SolidPartName(i, count);
        if (entry.GetName() != part.name || entry.IsFolder())
            Refuse(entry.GetDisplayName(), "the solid payload's entry " + std::to_string(i + 1) + " should be " + part.name);
        part.storedSize = entry.uncompressedSize;
        unsigned char head[kXzHeadBytes];
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(sizeof head, part.storedSize));
        archive.OpenEntry(i);
        uint32_t got = 0;
        try {
            got = archive.ReadEntry(head, want);
        } catch (...) {
            archive.CloseEntry(nullptr, true);
            throw;
        }
        archive.CloseEntry(nullptr, true);
        part.layout = InspectXzPart(head, got, part.name);
        parts.push_back(part);
    }
}

uint64_t CSolidPayload::TotalBytes() const {
    uint64_t total = 0;
    for (const Part& part : parts)
        total = part.layout.uncompressedSize > UINT64_MAX - total ? UINT64_MAX : total + part.layout.uncompressedSize;
    return total;
}

ExtractResult CSolidPayload::Extract(const MemberSinkMaker& maker, unsigned workers, CZipProgress* progress,
                                    ExtractFailure& failure) {
    workers = std::max(1u, workers);
    const bool threads = workers > 1;
    // The largest parts first, so that the longest decoding starts at once.
    std::vector<int> startOrder(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) startOrder[i] = static_cast<int>(i);
    std::stable_sort(startOrder.begin(), startOrder.end(), [this](int a, int b) {
        return parts[a].layout.uncompressedSize > parts[b].layout.uncompressedSize;
    });

    CZipSignal readerSignal;
    std::vector<std::unique_ptr<ActivePart>> active;
    size_t next = 0;
    CFirstFailure first;
    auto fail = [&](int order, const std::string& name, CException* error) {
        first.Offer(order, ExtractFailure{name, error, "", false});
    };

    for (;;) {
        // After a failure only the parts before it still matter.
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [&](const std::unique_ptr<ActivePart>& a) { return !first.Before(a->order); }),
                     active.end());
        while (active.size() < workers && next < startOrder.size()) {
            const int order = startOrder[next++];
            if (!first.Before(order)) continue;
            const Part& part = parts[order];
            try {
                auto a = std::make_unique<ActivePart>();
                a->part = &part;
                a->order = order;
                a->last = order + 1 == static_cast<int>(parts.size());
                a->reader.OpenArchive(archivePath, ModeOpenReadOnly, 0);
                if (!password.empty()) a->reader.SetArchivePassword(password.c_str());
                a->reader.OpenEntry(part.entry);
                a->unread = part.storedSize;
                a->pipe = std::make_unique<CSolidPipe>(readerSignal);
                a->pipe->Decoder().Start(part.layout, part.name);
                a->sink = maker(order);
                a->tar = std::make_unique<CTarReader>(*a->sink, part.name);
                a->inline_ = !threads || !a->worker.Start(&CSolidPipe::RunWorker, a->pipe.get());
                active.push_back(std::move(a));
            } catch (CException* error) {
                fail(order, part.name, error);
            } catch (const std::bad_alloc&) {
                fail(order, part.name, NotEnoughMemory(part.name));
            }
        }
        if (active.empty()) break;

        const uint32_t seen = readerSignal.Seen();
        bool moved = false, cancelled = false;
        for (size_t i = 0; i < active.size() && !cancelled;) {
            ActivePart& a = *active[i];
            bool finished = false;
            try {
                moved |= Pump(a, progress, cancelled, finished);
            } catch (CException* error) {
                // A failure inside a member names the member.
                std::string what = a.tar ? a.tar->CurrentName() : std::string();
                if (error->IsKindOf(RUNTIME_CLASS(CZipException)) &&
                    !static_cast<CZipException*>(error)->fileName.empty() &&
                    static_cast<CZipException*>(error)->errorCode != ErrDamagedArchive)
                    what = static_cast<CZipException*>(error)->fileName;
                fail(a.order, what.empty() ? a.part->name : what, error);
                finished = true;
            } catch (const std::bad_alloc&) {
                fail(a.order, a.part->name, NotEnoughMemory(a.part->name));
                finished = true;
            }
            if (finished) {
                active.erase(active.begin() + static_cast<long>(i));
                moved = true;
            } else {
                ++i;
            }
        }
        if (!moved && !cancelled) {
            readerSignal.WaitUpTo(seen, kIdleWaitMs);
            cancelled = progress && !progress->Step(0);
        }
        if (cancelled) {
            active.clear();
            return ExtractResult::Cancelled;
        }
    }
    if (!first.Failed()) return ExtractResult::Done;
    failure = first.Take();
    return ExtractResult::Failed;
}
