#include "zip/zip_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

CZipBuffer::CZipBuffer(const CZipBuffer& other) { Assign(other.data, other.size); }

CZipBuffer::CZipBuffer(CZipBuffer&& other) noexcept : data(other.data), size(other.size) {
    other.data = nullptr;
    other.size = 0;
}

CZipBuffer& CZipBuffer::operator=(const CZipBuffer& other) {
    if (this != &other) Assign(other.data, other.size);
    return *this;
}

CZipBuffer& CZipBuffer::operator=(CZipBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data = other.data;
        size = other.size;
        other.data = nullptr;
        other.size = 0;
    }
    return *this;
}

CZipBuffer::~CZipBuffer() { Release(); }

char* CZipBuffer::Allocate(uint32_t newSize, bool zeroFill) {
    if (newSize != size) {
        Release();
        if (newSize > 0) {
            data = static_cast<char*>(std::malloc(newSize));
            if (!data) throw std::bad_alloc();
            size = newSize;
        }
    }
    if (zeroFill && size) std::memset(data, 0, size);
    return data;
}

void CZipBuffer::Release() {
    std::free(data);
    data = nullptr;
    size = 0;
}

void CZipBuffer::Assign(const void* bytes, uint32_t count) {
    const char* from = static_cast<const char*>(bytes);
    if (count && data && from >= data && from < data + size) {  // a part of our own block
        if (from == data && count == size) return;
        char* copy = static_cast<char*>(std::malloc(count));
        if (!copy) throw std::bad_alloc();
        std::memcpy(copy, bytes, count);
        Release();
        data = copy;
        size = count;
        return;
    }
    Allocate(count, false);
    if (count) std::memcpy(data, bytes, count);
}
