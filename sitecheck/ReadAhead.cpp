#include "sitecheck/ReadAhead.h"

#include <algorithm>
#include <utility>

namespace sitecheck {

ReadAhead::ReadAhead(std::size_t count, std::function<Fetched(std::size_t)> read)
    : m_count(count),
      m_read(std::move(read)),
      m_answers(std::min(count, kWindow)),
      m_thread([this] { Run(); }) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_readMore.notify_all();
    m_thread.join();
}

void ReadAhead::Run() {
    std::vector<Fetched> batch;
    std::size_t position = 0;
    for (;;) {
        std::size_t end = 0;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_readMore.wait(lock, [&] { return m_stop || position < m_next + kWindow; });
            // Positions the caller has passed over are not read at all.
            position = std::max(position, m_next);
            if (m_stop || position >= m_count) break;
            end = std::min({m_count, position + kBatch, m_next + kWindow});
        }
        batch.clear();
        try {
            for (std::size_t i = position; i < end && !m_stop; ++i) batch.push_back(m_read(i));
        } catch (...) {
            // Out of memory, or a path the platform would not form: the
            // caller reads the rest itself and meets the failure there.
            break;
        }
        if (batch.size() < end - position) break;  // stopped
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            // The caller may have passed some over while they were read.
            for (std::size_t i = std::max(position, m_next); i < end; ++i)
                m_answers[i % kWindow] = std::move(batch[i - position]);
            m_ready = end;
        }
        m_answered.notify_all();
        position = end;
    }
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_ended = true;
    }
    m_answered.notify_all();
}

std::optional<Fetched> ReadAhead::Take(std::size_t position) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (position >= m_count || position < m_next) return std::nullopt;
    if (position > m_next) {
        // Whatever lies before it will not be asked for in order any more;
        // moving on lets the thread read past it instead of waiting.
        for (std::size_t i = m_next; i < position && i < m_next + kWindow; ++i)
            m_answers[i % kWindow].reset();
        m_next = position;
        m_readMore.notify_one();
    }
    m_answered.wait(lock, [&] { return m_ready > position || m_ended; });
    std::optional<Fetched> answer;
    if (m_ready > position) answer.swap(m_answers[position % kWindow]);
    m_next = position + 1;
    lock.unlock();
    m_readMore.notify_one();
    return answer;
}

}  // namespace sitecheck
