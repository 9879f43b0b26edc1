#pragma once

// Samples a running transfer on the GUI thread: about every 50 ms while data
// moves, at least every half second while it does not (so a waiting question
// can be asked even when the server stalls). The worker only stores the
// amount sent, so handling the events never slows the transfer down.

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace vantrel::upload {

class ProgressTicker
{
public:
    struct Hooks
    {
        // The amount the worker has sent so far.
        std::function<std::int64_t()> sent;
        // True while no event may be raised (one is still being handled).
        std::function<bool()> quiet;
        // Raises the event; false when the ticker must not go on.
        std::function<bool(std::int64_t sent)> raise;
    };

    ProgressTicker(std::int64_t total, Hooks hooks);

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

    // The amount of the last event raised, -1 before the first.
    std::int64_t lastSent() const { return m_lastSent; }

private:
    void Tick();

    std::int64_t m_total;
    Hooks m_hooks;
    std::int64_t m_lastSent = -1;
    QElapsedTimer m_sinceEvent;
    QTimer m_timer;
};

} // namespace vantrel::upload
