// The cleaner's heap use does not grow with the number of entries it
// deletes: every operator new of this test program is counted.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "cleanup/folder_cleaner.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// Bytes live through operator new, and the most since the last reset. Each
// block carries its size in front of it.
size_t live = 0;
size_t peak = 0;
constexpr size_t kHeader = alignof(std::max_align_t);

// Peak heap bytes of one cleanup over `folders` folders of `files` files.
size_t PeakOfCleanup(int folders, int files) {
    ScratchDir dir;
    for (int f = 0; f < folders; ++f) {
        const std::string folder = dir / ("d" + std::to_string(100 + f));
        MakeFolder(folder);
        for (int i = 0; i < files; ++i) WriteFile(Join(folder, "f" + std::to_string(10000 + i)), "x");
    }
    CFolderCleaner cleaner;
    cleaner.source = Join(dir.Path(), "*.*");
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    const size_t before = live;
    peak = live;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    const size_t used = peak - before;
    EXPECT_TRUE(ListFolder(dir.Path()).empty());
    return used;
}

}  // namespace

// GCC takes the replaced operators for the built-in ones where it inlines them
// and warns about the header in front of each block.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t size) {
    char* block = static_cast<char*>(std::malloc(size + kHeader));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    live += size;
    if (live > peak) peak = live;
    return block + kHeader;
}
void operator delete(void* pointer) noexcept {
    if (!pointer) return;
    char* block = static_cast<char*>(pointer) - kHeader;
    live -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, size_t) noexcept { operator delete(pointer); }

// Three times the folders, each fuller (both more than one batch): no more
// heap.
TEST(FolderCleanerHeapTest, PeakDoesNotGrowWithTheTree) {
    const size_t small = PeakOfCleanup(1, 1100);
    const size_t large = PeakOfCleanup(3, 1700);
    EXPECT_LE(large, small + 4096) << "small tree " << small << " bytes, large tree " << large << " bytes";
}
