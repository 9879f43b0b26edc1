#pragma once

// Start-up timing shared by the two start-up programs: milestones in
// milliseconds since the launch, and the end of the run at the first paint of
// a window.
//
// The launch time is taken from VANTREL_BENCH_T0_US (microseconds since the
// epoch, set by the caller just before it starts the program; bash gives it
// as ${EPOCHREALTIME/./}). Without it the milestones count from main().
//
// Output, one line on standard output, then the process ends at once (as the
// program itself ends, without tearing the windows down):
//   startup NAME main=1.9 app=21.4 ... painted=88.0

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace startupbench {

inline long long NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

class Milestones
{
public:
    explicit Milestones(const char *name)
        : m_name(name)
    {
        const char *t0 = std::getenv("VANTREL_BENCH_T0_US");
        m_t0 = t0 && *t0 ? std::atoll(t0) : NowUs();
        mark("main");
    }

    void mark(const char *what) { m_marks.emplace_back(what, NowUs()); }

    [[noreturn]] void finish()
    {
        std::string line = "startup " + m_name;
        for (const auto &[what, at] : m_marks) {
            char figure[64];
            std::snprintf(figure, sizeof figure, " %s=%.1f", what, double(at - m_t0) / 1000.0);
            line += figure;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        std::_Exit(0);
    }

    // Marks "painted" and ends the process once the window's first paint
    // has been done and handed to the window system.
    void finishAfterFirstPaint(QWidget *window)
    {
        auto *watcher = new PaintWatcher(this);
        window->installEventFilter(watcher);
    }

private:
    class PaintWatcher : public QObject
    {
    public:
        explicit PaintWatcher(Milestones *owner)
            : m_owner(owner)
        {}

    protected:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && !m_seen) {
                m_seen = true;
                // Runs after this paint and the flush that follows it.
                QTimer::singleShot(0, [owner = m_owner] {
                    owner->mark("painted");
                    owner->finish();
                });
            }
            return QObject::eventFilter(watched, event);
        }

    private:
        Milestones *m_owner;
        bool m_seen = false;
    };

    std::string m_name;
    long long m_t0 = 0;
    std::vector<std::pair<const char *, long long>> m_marks;
};

} // namespace startupbench
