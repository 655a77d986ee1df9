#include "zip/zip_entry_workers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "zip/zip_entry_job.h"
#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_progress.h"
#include "zip/zip_reader.h"
#include "zip/zip_worker_thread.h"

namespace {

// How long the reading thread sleeps at most while the workers work, so that
// the window and stop requests are seen in time.
constexpr unsigned kIdleWaitMs = 50;
constexpr uint32_t kExtractBufferSize = 65536;
// Only entries of at most this many stored bytes wait in a busy worker's
// mailbox: a large one waits for the first worker that is free.
constexpr uint64_t kQueuedBytes = 256 * 1024;

// One worker: its decoder, its own handle of the archive, and a mailbox of
// jobs (the one running and small ones waiting, so that it does not wait for
// the reading thread between small entries). Where no thread could be
// started, the reading thread runs the worker's jobs itself as it posts them.
struct Worker {
    static constexpr uint32_t Depth = 8;
    CZipEntryDecoder decoder;
    CZipFile archive;
    CZipWorkerThread thread;
    ZipEntryJob* mailbox[Depth] = {};
    std::atomic<uint32_t> posted{0}, done{0};
    CZipSignal signal;
    std::atomic<bool> quit{false};
    const std::atomic<bool>* stop = nullptr;
    CZipSignal* readerSignal = nullptr;

    // Jobs posted and not yet done.
    uint32_t Queued() const { return posted.load(std::memory_order_relaxed) - done.load(std::memory_order_acquire); }
    // Runs the next job, or the next small encrypted jobs side by side.
    void RunNext() {
        const uint32_t at = done.load(std::memory_order_relaxed);
        const uint32_t queued = posted.load(std::memory_order_acquire) - at;
        ZipEntryJob* jobs[CZipCryptKeys::MaxLanes] = {mailbox[at % Depth]};
        unsigned count = 1;
        while (CZipEntryDecoder::SideBySide(*jobs[0]) && count < queued && count < CZipCryptKeys::MaxLanes &&
               CZipEntryDecoder::SideBySide(*mailbox[(at + count) % Depth])) {
            jobs[count] = mailbox[(at + count) % Depth];
            ++count;
        }
        if (count == 1)
            decoder.Run(*jobs[0], archive.GetHandle(), *stop);
        else
            decoder.RunSideBySide(jobs, count, archive.GetHandle(), *stop);
        for (unsigned i = 0; i < count; ++i) jobs[i]->finished.store(true, std::memory_order_release);
        done.store(at + count, std::memory_order_release);
        readerSignal->Notify();
    }
    void Post(ZipEntryJob& job) {
        const uint32_t at = posted.load(std::memory_order_relaxed);
        mailbox[at % Depth] = &job;
        posted.store(at + 1, std::memory_order_release);
        if (!thread.Running()) {
            RunNext();
            return;
        }
        signal.Notify();
    }
    static void Loop(void* context) {
        Worker& self = *static_cast<Worker*>(context);
        for (;;) {
            const uint32_t seen = self.signal.Seen();
            if (self.done.load(std::memory_order_relaxed) != self.posted.load(std::memory_order_acquire)) {
                self.RunNext();
                continue;
            }
            if (self.quit.load(std::memory_order_acquire)) return;
            self.signal.Wait(seen);
        }
    }
    ~Worker() {
        quit.store(true, std::memory_order_release);
        signal.Notify();
        thread.Join();
    }
};

// An entry settled for a worker: its job and its open file.
struct Settled {
    ZipEntryJob job;
    CZipFile file;
    int order = 0;
    bool posted = false;
    uint64_t reported = 0;  // bytes passed on to the progress sink

    Settled() = default;
    ~Settled() {
        if (job.descriptorError) job.descriptorError->Delete();
    }
    Settled(const Settled&) = delete;
    Settled& operator=(const Settled&) = delete;
};

// Whether two targets may name the same file: ASCII letters compared without
// case (as Windows does; elsewhere it only makes an entry wait a little).
bool SameTarget(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x >= 'A' && x <= 'Z' && x + 32 == y) && !(y >= 'A' && y <= 'Z' && y + 32 == x)) return false;
    }
    return true;
}

}  // namespace

ExtractResult CZipEntryWorkers::Extract(CZipReader& reader, const std::string& archivePath, const std::string& folder,
                                        unsigned workerCount, CZipProgress* sink, ExtractFailure& failure) {
    CFirstFailure first;
    auto fail = [&](int order, const std::string& name, CException* error, const std::string& what, bool endsEarly) {
        first.Offer(order, ExtractFailure{name, error, what, endsEarly});
    };

    std::atomic<bool> stop{false};
    CZipSignal readerSignal;
    // Declared in this order so that, however Extract ends, the workers are
    // told to stop and have ended before the settled entries' files close.
    std::vector<std::unique_ptr<Settled>> settled;
    std::vector<std::unique_ptr<Worker>> workers;
    struct StopOnExit {
        std::atomic<bool>& stop;
        ~StopOnExit() { stop.store(true, std::memory_order_release); }
    } stopOnExit{stop};
    // As many workers as can be had; none: not enough memory (or the archive
    // cannot be opened again).
    for (unsigned i = 0; i < std::max(1u, workerCount); ++i) {
        std::unique_ptr<Worker> worker(new (std::nothrow) Worker);
        if (!worker || !worker->decoder.Init() ||
            !worker->archive.Open(archivePath, CZipFile::OpenRead | CZipFile::ShareDenyWrite, false))
            break;
        worker->stop = &stop;
        worker->readerSignal = &readerSignal;
        if (workerCount > 1) worker->thread.Start(&Worker::Loop, worker.get());
        workers.push_back(std::move(worker));
    }
    if (workers.empty()) {
        failure = ExtractFailure{archivePath, NotEnoughMemory(archivePath), "", false};
        return ExtractResult::Failed;
    }

    const int count = reader.GetCount();
    int next = 0;
    bool cancelled = false;
    CZipEntryHeader record;

    while (!cancelled) {
        bool moved = false;
        // Settle entries in archive order, a bounded number ahead; an entry
        // whose file is still being written by an earlier one waits for it.
        while (settled.size() < MaxSettled && next < count && first.Before(next) && !cancelled) {
            const int order = next;
            if (!reader.GetEntryInfo(record, order)) {
                ++next;
                fail(order, "#" + std::to_string(order), nullptr, "", true);
                continue;
            }
            const std::string name = record.GetName();
            const std::string target = CZipReader::BuildTargetPath(name, folder.c_str(), true, nullptr);
            if (std::any_of(settled.begin(), settled.end(),
                            [&](const std::unique_ptr<Settled>& s) { return SameTarget(s->job.target, target); }))
                break;
            ++next;
            moved = true;
            try {
                auto entry = std::make_unique<Settled>();
                entry->order = order;
                switch (reader.StartJob(order, record, folder.c_str(), entry->file, entry->job)) {
                    case CZipReader::ExtractStart::Open:
                        settled.push_back(std::move(entry));
                        break;
                    case CZipReader::ExtractStart::Done:
                        break;
                    case CZipReader::ExtractStart::Missing:
                        fail(order, name, nullptr, "", true);
                        break;
                    case CZipReader::ExtractStart::Inline:
                        // False with every byte written means only the
                        // file's time or attributes could not be set.
                        if (!reader.ExtractEntry(order, folder.c_str(), true, nullptr, kExtractBufferSize) &&
                            (!sink || static_cast<uint64_t>(sink->workDone) != record.uncompressedSize))
                            fail(order, name, nullptr, "", true);
                        break;
                }
            } catch (CException* error) {
                if (IsAbortError(error)) {
                    cancelled = true;
                    error->Delete();
                } else {
                    fail(order, name, error, "", false);
                }
            } catch (const std::exception& error) {
                fail(order, name, nullptr, error.what(), false);
            }
        }

        // Hand out the largest settled entries first, one to each idle
        // worker; small entries also wait in the workers' mailboxes, so
        // that a worker goes on without waiting for this thread.
        for (uint32_t depth = 1; depth <= Worker::Depth && !cancelled; ++depth) {
            for (auto& worker : workers) {
                if (worker->Queued() >= depth) continue;
                Settled* largest = nullptr;
                for (auto& s : settled)
                    if (!s->posted && first.Before(s->order) && (!largest || s->job.size > largest->job.size))
                        largest = s.get();
                if (!largest || (depth > 1 && largest->job.storedBytes > kQueuedBytes)) break;
                largest->posted = true;
                worker->Post(largest->job);
                moved = true;
            }
        }

        const uint32_t seen = readerSignal.Seen();
        for (auto it = settled.begin(); it != settled.end() && !cancelled;) {
            Settled& s = **it;
            const bool finished = s.job.finished.load(std::memory_order_acquire);
            for (uint64_t now = s.job.written.load(std::memory_order_acquire); s.reported < now;) {
                const int32_t step = static_cast<int32_t>(std::min<uint64_t>(now - s.reported, INT32_MAX));
                s.reported += static_cast<uint64_t>(step);
                if (sink && !sink->Advance(step)) cancelled = true;
                moved = true;
            }
            if (cancelled) break;
            if (!finished && (s.posted || first.Before(s.order))) {
                ++it;
                continue;
            }
            // Done, or dropped behind a failure before a worker took it.
            if (finished) {
                try {
                    if (!reader.FinishJob(s.job, s.file)) fail(s.order, s.job.name, nullptr, "", true);
                } catch (CException* error) {
                    if (IsAbortError(error))
                        error->Delete();
                    else
                        fail(s.order, s.job.name, error, "", false);
                } catch (const std::exception& error) {
                    fail(s.order, s.job.name, nullptr, error.what(), false);
                }
                if (sink) sink->End();
            }
            it = settled.erase(it);
            moved = true;
        }
        if (settled.empty() && (next >= count || !first.Before(next))) break;
        if (!moved && !cancelled) {
            readerSignal.WaitUpTo(seen, kIdleWaitMs);
            cancelled = sink && !sink->Step(0);
        }
    }

    if (cancelled) {
        // Every worker ends before the entries' files are closed.
        stop.store(true, std::memory_order_release);
        workers.clear();
        settled.clear();
        return ExtractResult::Cancelled;
    }
    if (!first.Failed()) return ExtractResult::Done;
    failure = first.Take();
    return ExtractResult::Failed;
}
