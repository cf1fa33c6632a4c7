#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace quillmap {

// Items handed from worker threads (std::jthread) to one taker, in the order they were put, at
// most `capacity` waiting at once so memory stays bounded. A stop request on a worker's token
// wakes it from a wait for room; its item is then dropped.
template <typename T>
class WorkQueue final
{
public:
    explicit WorkQueue(size_t capacity)
        : m_capacity(capacity)
    {
    }

    // Waits for room; false when `stop` was requested first.
    bool put(T item, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait(lock, stop, [this] { return m_items.size() < m_capacity; }))
            return false;
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }

    // Waits for the next item.
    T take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_items.empty(); });
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return item;
    }

private:
    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::deque<T> m_items;
};

} // namespace quillmap
