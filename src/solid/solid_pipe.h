// The way of one solid part's bytes between two threads: the reading thread
// puts the part's .xz bytes into a ring of input chunks, the decoding thread
// (a worker, or the reading thread itself on one processor) decodes them into
// a ring of output chunks, which the reading thread takes, parses as tar and
// writes. Memory is the two rings and the decoder's reserved memory.
//
// Step is the whole of the decoding side and calls nothing but the decoder
// and the wait words, so that it can run on a bare worker thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "solid/xz_part_decoder.h"
#include "zip/zip_worker_thread.h"

class CSolidPipe {
public:
    static constexpr size_t InChunkSize = 64 * 1024;
    static constexpr uint32_t InChunks = 4;
    static constexpr size_t OutChunkSize = 256 * 1024;
    static constexpr uint32_t OutChunks = 4;
    enum State : uint32_t { Running, Ended, Failed, Stopped };

    // `readerSignal` is advanced whenever this pipe has something for the
    // reading thread (output, room for input, an end).
    explicit CSolidPipe(CZipSignal& readerSignal);
    CSolidPipe(const CSolidPipe&) = delete;
    CSolidPipe& operator=(const CSolidPipe&) = delete;

    CXzPartDecoder& Decoder() { return decoder; }

    // Reading side. A free input chunk of InChunkSize bytes, or null.
    unsigned char* InputSlot();
    // Hands the chunk from InputSlot over with its `size` bytes; `last`: no
    // more input comes.
    void PublishInput(size_t size, bool last);
    // The next decoded chunk, if one is ready; ReleaseOutput gives it back.
    bool TakeOutput(const unsigned char*& data, size_t& size);
    void ReleaseOutput();
    State GetState() const { return static_cast<State>(state.load(std::memory_order_acquire)); }
    // After Ended: input was left behind the stream's end.
    bool InputLeft() const;
    // After Failed: the decoder's result.
    lzma_ret Failure() const { return failure; }
    // Ends the decoding side at its next step.
    void Stop();

    // Decoding side: decodes while there is input and room for output; true
    // when it did anything. At the stream's end the state becomes Ended; on
    // a decoder error or input that ends before the stream, Failed.
    bool Step();
    // A worker's whole task: Step until the pipe is no longer Running,
    // waiting for the reading side in between.
    static void RunWorker(void* pipe);

private:
    void SignalReader();
    void SignalWorker();
    void Fail(lzma_ret result);

    CZipSignal& readerSignal;
    CZipSignal workerSignal;
    std::atomic<uint32_t> state{Running};
    lzma_ret failure = LZMA_OK;
    CXzPartDecoder decoder;

    std::unique_ptr<unsigned char[]> in[InChunks];
    size_t inLength[InChunks] = {};
    std::atomic<uint32_t> inProduced{0}, inConsumed{0};
    std::atomic<bool> inputLast{false};
    size_t inPos = 0;  // decoding side: read so far of the current input chunk

    std::unique_ptr<unsigned char[]> out[OutChunks];
    size_t outLength[OutChunks] = {};
    std::atomic<uint32_t> outProduced{0}, outConsumed{0};
    size_t outFill = 0;  // decoding side: written so far of the current output chunk
};
