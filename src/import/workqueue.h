#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace quillmap {

// Items handed between threads (std::jthread) and taken in order: item 0, 1, 2, ... Items may
// be put out of order, each with its number, by several threads; at most `capacity` numbers
// from the next one to take are let in, so memory stays bounded. A stop request on a waiting
// thread's token wakes it; what it would have put is then dropped.
template <typename T>
class WorkQueue final
{
public:
    explicit WorkQueue(size_t capacity)
        : m_capacity(capacity),
          m_slots(capacity)
    {
    }

    // Waits until item `number` may be put; false when `stop` was requested first.
    bool waitForRoom(long long number, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        return m_roomMade.wait(lock, stop, [&] { return fits(number); });
    }

    // Puts item `number` (each number once), waiting for room.
    bool put(long long number, T item, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        if (!m_roomMade.wait(lock, stop, [&] { return fits(number); }))
            return false;
        m_slots[size_t(number - m_taken)] = std::move(item);
        m_itemPut.notify_all();
        return true;
    }

    // Puts the item after the last one put this way, waiting for room (one thread puts).
    bool put(T item, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        if (!m_roomMade.wait(lock, stop, [this] { return fits(m_nextPut); }))
            return false;
        m_slots[size_t(m_nextPut++ - m_taken)] = std::move(item);
        m_itemPut.notify_all();
        return true;
    }

    // Waits for the next item.
    T take() { return *take(std::stop_token()); }

    // Waits for the next item; nothing when `stop` was requested first.
    std::optional<T> take(std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        if (!m_itemPut.wait(lock, stop, [this] { return m_slots.front().has_value(); }))
            return std::nullopt;
        return takeFront();
    }

    // The next item if it is there, without waiting.
    std::optional<T> tryTake()
    {
        const std::lock_guard lock(m_mutex);
        if (!m_slots.front().has_value())
            return std::nullopt;
        return takeFront();
    }

private:
    bool fits(long long number) const { return number < m_taken + static_cast<long long>(m_capacity); }

    std::optional<T> takeFront()
    {
        std::optional<T> item = std::move(m_slots.front());
        m_slots.pop_front();
        m_slots.emplace_back();
        ++m_taken;
        m_roomMade.notify_all();
        return item;
    }

    const size_t m_capacity;
    std::mutex m_mutex;
    // Waiters for room are woken only by a take, the taker only by a put.
    std::condition_variable_any m_roomMade;
    std::condition_variable_any m_itemPut;
    std::deque<std::optional<T>> m_slots; // item m_taken + k at k
    long long m_taken = 0;
    long long m_nextPut = 0;
};

} // namespace quillmap
