#include "upload/progressticker.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vantrel::upload {

namespace {

using namespace std::chrono_literals;

constexpr auto kProgressInterval = 50ms;
constexpr auto kHeartbeat = 500ms;

} // namespace

ProgressTicker::ProgressTicker(std::int64_t total, Hooks hooks)
    : m_total(total)
    , m_hooks(std::move(hooks))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kProgressInterval);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Tick(); });
}

void ProgressTicker::Tick()
{
    if (m_hooks.quiet())
        return;
    const std::int64_t sent = std::clamp<std::int64_t>(m_hooks.sent(), 0, m_total);
    if (sent == m_lastSent && m_sinceEvent.isValid()
        && m_sinceEvent.elapsed() < std::chrono::milliseconds(kHeartbeat).count())
        return;
    m_lastSent = sent;
    m_sinceEvent.start();
    if (!m_hooks.raise(sent))
        m_timer.stop();
}

} // namespace vantrel::upload
