// An owned block of bytes with its size: names, extra fields, comments, the
// password and I/O buffers. `data` is null exactly when `size` is 0. Copies
// are deep; moves hand the block over.
#pragma once

#include <cstdint>

class CZipBuffer {
public:
    CZipBuffer() = default;
    explicit CZipBuffer(uint32_t size, bool zeroFill = false) { Allocate(size, zeroFill); }
    CZipBuffer(const CZipBuffer& other);
    CZipBuffer(CZipBuffer&& other) noexcept;
    CZipBuffer& operator=(const CZipBuffer& other);
    CZipBuffer& operator=(CZipBuffer&& other) noexcept;
    virtual ~CZipBuffer();

    // Makes the buffer exactly `size` bytes: a different size releases the
    // old block and allocates a new one (when size > 0); the same size keeps
    // the block. The bytes are cleared only when `zeroFill`. Returns `data`.
    char* Allocate(uint32_t size, bool zeroFill = false);
    // Frees the block: data null, size 0.
    void Release();
    // Replaces the contents by a copy of `count` bytes at `bytes`.
    void Assign(const void* bytes, uint32_t count);

    bool IsEmpty() const { return size == 0; }

    char* data = nullptr;
    uint32_t size = 0;
};
