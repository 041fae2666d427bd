#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread that keeps pace with a value replaced faster than it can be handled: each time it
// wakes it hands only the latest value posted to `work`, skipping any posted in between (a
// parser following the bytes a decompressor has produced so far). stop() returns once the
// latest value has been handed over; the thread starts on the first start() and may be
// started again after a stop. Value needs == and a default that is never posted.
template <typename Value> class LatestWorker
{
public:
    explicit LatestWorker(std::function<void(const Value &)> work) : m_work(std::move(work)) {}
    ~LatestWorker() { stop(); }
    LatestWorker(const LatestWorker &) = delete;
    LatestWorker &operator=(const LatestWorker &) = delete;

    bool running() const { return m_thread.joinable(); }
    void start()
    {
        if (!running())
            m_thread = std::thread([this] { loop(); });
    }
    void post(const Value &value)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_latest = value;
        }
        m_wake.notify_one();
    }
    void stop()
    {
        if (!running())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
        m_done = false;
        m_latest = Value{};
    }

private:
    void loop()
    {
        Value seen{};
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_done || !(m_latest == seen); });
            if (m_latest == seen)
                return; // stopped, and nothing new
            seen = m_latest;
            lock.unlock();
            m_work(seen);
            lock.lock();
        }
    }

    const std::function<void(const Value &)> m_work;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Value m_latest{}; // guarded by m_mutex
    bool m_done = false; // guarded by m_mutex
};
