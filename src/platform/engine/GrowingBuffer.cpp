#include "platform/engine/GrowingBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#define ORV_RESERVED_MEMORY 1
#endif

namespace orv {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Committed in steps of this size (rounded to huge pages); committing touches nothing, so the
// step costs address space only.
constexpr std::size_t kCommitStep = std::size_t(8) << 20;

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

} // namespace

GrowingBuffer::GrowingBuffer(std::size_t maxBytes) : max_(maxBytes)
{
#ifdef ORV_RESERVED_MEMORY
    // Reserved without access, so that the reservation counts against no memory limit until it
    // is committed; one huge page more to align the start.
    mappingBytes_ = roundUp(maxBytes, kHugePage) + kHugePage;
    void* p = ::mmap(nullptr, mappingBytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p != MAP_FAILED) {
        mapping_ = p;
        base_ = reinterpret_cast<char*>(roundUp(reinterpret_cast<std::uintptr_t>(p), kHugePage));
        return;
    }
    mappingBytes_ = 0;
#endif
    commit(1); // never a null start, even while empty
}

GrowingBuffer::~GrowingBuffer()
{
#ifdef ORV_RESERVED_MEMORY
    if (mapping_) {
        ::munmap(mapping_, mappingBytes_);
        return;
    }
#endif
    std::free(base_);
}

char* GrowingBuffer::growCommitting(std::size_t n)
{
    if (n > max_ - size_)
        throw std::length_error("GrowingBuffer");
    commit(size_ + n);
    char* at = base_ + size_;
    size_ += n;
    return at;
}

void GrowingBuffer::commit(std::size_t bytes)
{
#ifdef ORV_RESERVED_MEMORY
    if (mapping_) {
        const std::size_t step = committed_ < kCommitStep ? kHugePage : kCommitStep;
        const std::size_t target =
            std::min(roundUp(std::max(bytes, committed_ + step), kHugePage), mappingBytes_ - kHugePage);
        if (::mprotect(base_ + committed_, target - committed_, PROT_READ | PROT_WRITE) != 0)
            throw std::bad_alloc();
        // Small buffers stay in small pages: a huge page for a table of ten rows is waste.
        if (target > kHugePage)
            ::madvise(base_ + std::max(committed_, kHugePage), target - std::max(committed_, kHugePage), MADV_HUGEPAGE);
        committed_ = std::min(target, max_); // grow() hands out no byte past max_
        return;
    }
#endif
    const std::size_t target = std::min(std::max(bytes, committed_ * 2 + 4096), max_);
    void* p = std::realloc(base_, target);
    if (!p)
        throw std::bad_alloc();
    base_ = static_cast<char*>(p);
    committed_ = target;
}

} // namespace orv
