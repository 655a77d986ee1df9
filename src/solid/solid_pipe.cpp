#include "solid/solid_pipe.h"

#include "zip/zip_worker_thread.h"

CSolidPipe::CSolidPipe(CZipSignal& readerSignal) : readerSignal(readerSignal) {
    for (auto& chunk : in) chunk.reset(new unsigned char[InChunkSize]);
    for (auto& chunk : out) chunk.reset(new unsigned char[OutChunkSize]);
}

void CSolidPipe::SignalReader() { readerSignal.Notify(); }

void CSolidPipe::SignalWorker() { workerSignal.Notify(); }

unsigned char* CSolidPipe::InputSlot() {
    const uint32_t produced = inProduced.load(std::memory_order_relaxed);
    if (produced - inConsumed.load(std::memory_order_acquire) == InChunks) return nullptr;
    return in[produced % InChunks].get();
}

void CSolidPipe::PublishInput(size_t size, bool last) {
    const uint32_t produced = inProduced.load(std::memory_order_relaxed);
    inLength[produced % InChunks] = size;
    if (last) inputLast.store(true, std::memory_order_relaxed);
    inProduced.store(produced + 1, std::memory_order_release);
    SignalWorker();
}

bool CSolidPipe::TakeOutput(const unsigned char*& data, size_t& size) {
    const uint32_t consumed = outConsumed.load(std::memory_order_relaxed);
    if (consumed == outProduced.load(std::memory_order_acquire)) return false;
    data = out[consumed % OutChunks].get();
    size = outLength[consumed % OutChunks];
    return true;
}

void CSolidPipe::ReleaseOutput() {
    outConsumed.fetch_add(1, std::memory_order_release);
    SignalWorker();
}

bool CSolidPipe::InputLeft() const {
    return inConsumed.load(std::memory_order_acquire) != inProduced.load(std::memory_order_acquire);
}

void CSolidPipe::Stop() {
    uint32_t running = Running;
    state.compare_exchange_strong(running, Stopped, std::memory_order_acq_rel);
    SignalWorker();
}

void CSolidPipe::Fail(lzma_ret result) {
    failure = result;
    uint32_t running = Running;
    state.compare_exchange_strong(running, Failed, std::memory_order_acq_rel);
    SignalReader();
}

bool CSolidPipe::Step() {
    bool progress = false;
    while (GetState() == Running) {
        const uint32_t consumed = inConsumed.load(std::memory_order_relaxed);
        if (consumed == inProduced.load(std::memory_order_acquire)) {
            // Every byte was decoded and the stream has not ended: truncated.
            if (inputLast.load(std::memory_order_relaxed)) {
                Fail(LZMA_BUF_ERROR);
                progress = true;
            }
            break;
        }
        const uint32_t produced = outProduced.load(std::memory_order_relaxed);
        if (produced - outConsumed.load(std::memory_order_acquire) == OutChunks) break;

        const size_t inSlot = consumed % InChunks, outSlot = produced % OutChunks;
        const unsigned char* from = in[inSlot].get() + inPos;
        size_t inSize = inLength[inSlot] - inPos;
        unsigned char* to = out[outSlot].get() + outFill;
        size_t outSize = OutChunkSize - outFill;
        const lzma_ret result = decoder.Decode(from, inSize, to, outSize);
        inPos = inLength[inSlot] - inSize;
        outFill = OutChunkSize - outSize;
        progress = true;

        if (inSize == 0) {
            inPos = 0;
            inConsumed.store(consumed + 1, std::memory_order_release);
        }
        const bool ended = result == LZMA_STREAM_END;
        if (outSize == 0 || (ended && outFill > 0)) {
            outLength[outSlot] = outFill;
            outFill = 0;
            outProduced.store(produced + 1, std::memory_order_release);
        }
        if (ended) {
            uint32_t running = Running;
            state.compare_exchange_strong(running, Ended, std::memory_order_acq_rel);
        } else if (result != LZMA_OK) {
            Fail(result);
            break;
        }
        SignalReader();
    }
    return progress;
}

void CSolidPipe::RunWorker(void* context) {
    CSolidPipe& pipe = *static_cast<CSolidPipe*>(context);
    for (;;) {
        const uint32_t seen = pipe.workerSignal.Seen();
        if (pipe.GetState() != Running) return;
        if (!pipe.Step()) pipe.workerSignal.Wait(seen);
    }
}
