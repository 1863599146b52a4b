// Bytes that grow at their end without ever moving or copying what they hold: a range of address
// space is reserved once and committed as it fills. Large buffers are backed by huge pages where
// the system offers them: filling a catalogue of 200,000 entries in small pages costs tens of
// thousands of page faults, which take longer than everything else the open does.
#pragma once

#include <cstddef>

namespace orv {

class GrowingBuffer {
public:
    // maxBytes: the most the buffer may ever hold (reserved, not allocated).
    explicit GrowingBuffer(std::size_t maxBytes);
    ~GrowingBuffer();
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    char* data() { return base_; }
    const char* data() const { return base_; }
    std::size_t size() const { return size_; }
    std::size_t maxBytes() const { return max_; }

    // Adds n bytes (uninitialised) at the end and returns where they start; earlier bytes keep
    // their address. Throws std::length_error past maxBytes and std::bad_alloc when the system
    // refuses memory.
    char* grow(std::size_t n)
    {
        if (n > committed_ - size_)
            return growCommitting(n);
        char* at = base_ + size_;
        size_ += n;
        return at;
    }
    // Drops bytes from the end (n <= size()).
    void shrinkBy(std::size_t n) { size_ -= n; }

private:
    char* growCommitting(std::size_t n);
    void commit(std::size_t bytes);

    char* base_ = nullptr;
    std::size_t size_ = 0;
    std::size_t committed_ = 0;
    std::size_t max_ = 0;
    void* mapping_ = nullptr; // the reservation; null when the buffer lives on the heap
    std::size_t mappingBytes_ = 0;
};

} // namespace orv
