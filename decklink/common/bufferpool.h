#pragma once

// Recycled pixel buffers: a frame's buffer goes back to its pool when the
// frame is released, so steady streaming allocates nothing. The pool may go
// before its buffers do; those are then simply freed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace cardcommon {

class BufferPool : public std::enable_shared_from_this<BufferPool>
{
public:
    using Buffer = std::shared_ptr<uint8_t>;

    // A buffer of at least `bytes` bytes; its contents are left from earlier use.
    Buffer acquire(size_t bytes);

private:
    struct Block
    {
        std::unique_ptr<uint8_t[]> data;
        size_t size;
    };
    void recycle(Block block);

    // A client that holds frames keeps their buffers; a few spare ones are kept.
    static constexpr size_t maxSpare = 4;
    std::mutex m_mutex;
    std::vector<Block> m_spare;
};

} // namespace cardcommon
