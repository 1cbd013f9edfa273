#pragma once
// Answers read ahead of the checker, on a thread of their own: a folder's
// files are read while the checker judges the ones before, so that a site
// of many files takes the time of its reads or of its judging, not of both.
// The thread reads the announced positions in order, at most kWindow ahead
// of the last one taken, so memory stays bounded whatever the site's size.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sitecheck/SiteCheck.h"

namespace sitecheck {

class ReadAhead {
public:
    static constexpr std::size_t kWindow = 256;
    // Answers are handed over in batches, so that neither side waits for
    // the other once a file.
    static constexpr std::size_t kBatch = 16;

    // read(i) answers position i; it is called on the reading thread, once
    // per position, in order, and must be safe beside the caller's calls.
    ReadAhead(std::size_t count, std::function<Fetched(std::size_t)> read);
    // Returns once the file being read, if any, has been read.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The answer at position, waiting for it if it is not read yet; nullopt
    // when it was taken before, was passed over (a later position was taken
    // first) or could not be read ahead: the caller then reads it itself.
    std::optional<Fetched> Take(std::size_t position);

private:
    void Run();

    const std::size_t m_count;
    const std::function<Fetched(std::size_t)> m_read;
    std::mutex m_lock;
    std::condition_variable m_readMore;  // the window moved on, or stop
    std::condition_variable m_answered;  // a batch is in, or reading ended
    // Position i is kept at i % kWindow: only the window's positions are
    // ever held.
    std::vector<std::optional<Fetched>> m_answers;
    std::size_t m_ready = 0;  // positions from m_next below it are read
    std::size_t m_next = 0;   // positions below it are taken or passed over
    bool m_ended = false;     // the thread reads no more (all read, stopped or failed)
    std::atomic<bool> m_stop{false};
    std::thread m_thread;  // last: it starts once everything above is set
};

}  // namespace sitecheck
