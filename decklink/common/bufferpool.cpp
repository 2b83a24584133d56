#include "bufferpool.h"

namespace cardcommon {

BufferPool::Buffer BufferPool::acquire(size_t bytes)
{
    Block block;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_spare.begin(); it != m_spare.end(); ++it) {
            if (it->size == bytes) {
                block = std::move(*it);
                m_spare.erase(it);
                break;
            }
        }
    }
    if (!block.data)
        block = Block{std::make_unique<uint8_t[]>(bytes), bytes};
    uint8_t* data = block.data.release();
    std::weak_ptr<BufferPool> pool = weak_from_this();
    return Buffer(data, [pool, bytes](uint8_t* p) {
        Block returned{std::unique_ptr<uint8_t[]>(p), bytes};
        if (auto owner = pool.lock())
            owner->recycle(std::move(returned));
    });
}

void BufferPool::recycle(Block block)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_spare.size() >= maxSpare)
        m_spare.erase(m_spare.begin());
    m_spare.push_back(std::move(block));
}

} // namespace cardcommon
