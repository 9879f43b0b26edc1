#pragma once

// One worker thread with a queue of jobs, run one after the other in the
// order they were posted. The destructor runs the jobs still queued and
// joins the thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vantrel::upload {

class WorkerQueue
{
public:
    WorkerQueue();
    ~WorkerQueue();
    WorkerQueue(const WorkerQueue &) = delete;
    WorkerQueue &operator=(const WorkerQueue &) = delete;

    void Post(std::function<void()> job);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace vantrel::upload
