// ftpupload [--trust FINGERPRINT] ADDRESS USER PASSWORD LOCAL REMOTE
//
// Uploads one file with the program's own upload job (and its FTP client),
// progress events on, and prints the throughput. REMOTE is the file's path
// on the server: its folder stands for the server folder of the settings. A server certificate that
// cannot be verified is refused, naming its fingerprint, unless it is the one given with --trust
// (SHA-256 in hex, with or without colons, as `openssl x509 -noout
// -fingerprint -sha256` prints it). Over SFTP, a host key that is neither in
// ~/.ssh/known_hosts nor the one given with --trust ("SHA256:...", as
// OpenSSH prints it) is refused likewise. While the transfer runs it also measures how
// long an event posted to the main thread waits before it is handled: what
// a click on Cancel would wait. Exits 0 only when the server has confirmed
// the whole file.

#include "common/failure.h"
#include "common/qtbridge.h"
#include "upload/certtrust.h"
#include "upload/ftpaddress.h"
#include "upload/sftphostkey.h"
#include "upload/uploadjob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// Receives the probe events and notes how long each waited in the queue.
class DelayProbe : public QObject
{
public:
    static constexpr QEvent::Type kProbe = QEvent::User;

    DelayProbe()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_postedAt.push_back(m_clock.nsecsElapsed());
            QCoreApplication::postEvent(this, new QEvent(kProbe));
        });
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

    // Waits in milliseconds, sorted.
    std::vector<double> delays() const
    {
        std::vector<double> sorted = m_delays;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != kProbe)
            return QObject::event(event);
        if (m_handled < m_postedAt.size())
            m_delays.push_back((m_clock.nsecsElapsed() - m_postedAt[m_handled++]) / 1e6);
        return true;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<qint64> m_postedAt;
    std::size_t m_handled = 0;
    std::vector<double> m_delays;
};

// Trusts the one certificate or host key given with --trust, for this run.
class TrustGiven final : public vantrel::upload::UploadQuestions
{
public:
    std::string certificate;
    std::string hostKey;
    // What the server showed and was not trusted.
    std::string refused;

    bool TrustCertificate(const vantrel::upload::ServerIdentity &seen, bool) override
    {
        return Given(certificate, seen);
    }
    bool AcceptHostKey(const vantrel::upload::ServerIdentity &seen) override
    {
        return Given(hostKey, seen);
    }
    bool AbortUpload() override { return false; }

private:
    bool Given(const std::string &trusted, const vantrel::upload::ServerIdentity &seen)
    {
        if (!trusted.empty() && trusted == seen.fingerprint)
            return true;
        refused = seen.fingerprint;
        return false;
    }
};

double Percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return 0.0;
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    TrustGiven questions;
    if (args.size() > 2 && args[1] == QStringLiteral("--trust")) {
        const std::string given = vantrel::ToUtf8(args[2]);
        if (const std::optional<std::string> key =
                vantrel::upload::NormalizeHostKeyFingerprint(given)) {
            questions.hostKey = *key;
        } else if (const std::optional<std::string> fingerprint =
                       vantrel::upload::NormalizeFingerprint(given)) {
            questions.certificate = *fingerprint;
        } else {
            std::fprintf(stderr, "ftpupload: --trust wants a SHA-256 fingerprint in hex or an "
                                 "SHA256:... host-key fingerprint\n");
            return 2;
        }
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    if (args.size() != 6) {
        std::fprintf(stderr,
                     "usage: ftpupload [--trust FINGERPRINT] ADDRESS USER PASSWORD LOCAL REMOTE\n");
        return 2;
    }
    const QString &local = args[4];
    const QString &remote = args[5];
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));

    // Nothing is kept: no settings folder.
    vantrel::upload::UploadJob job(QString(), questions);
    long events = 0;
    std::int64_t lastSent = 0;
    std::int64_t total = 0;
    QObject::connect(&job, &vantrel::upload::UploadJob::progressed, &job,
                     [&](const vantrel::upload::UploadProgress &progress) {
                         ++events;
                         lastSent = progress.sent;
                         total = progress.total;
                     });
    DelayProbe probe;
    QElapsedTimer clock;
    double seconds = 0.0;
    vantrel::upload::UploadOutcome outcome;
    QObject::connect(&job, &vantrel::upload::UploadJob::serverConnected, &job, [&] {
        probe.start();
        clock.start();
    });
    QObject::connect(&job, &vantrel::upload::UploadJob::finished, &job,
                     [&](const vantrel::upload::UploadOutcome &ended) {
                         seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
                         probe.stop();
                         outcome = ended;
                         QCoreApplication::quit();
                     });
    job.start({local, remote.mid(slash + 1), vantrel::ToUtf8(args[1]), vantrel::ToUtf8(args[2]),
               vantrel::ToUtf8(args[3]), vantrel::ToUtf8(remote.left(slash + 1))});
    QCoreApplication::exec();
    if (outcome.kind != vantrel::upload::UploadOutcome::Kind::Uploaded) {
        const std::string description =
            outcome.failure ? outcome.failure->description() : "not connected";
        std::fprintf(stderr, "ftpupload: %s\n", description.c_str());
        if (!questions.refused.empty())
            std::fprintf(stderr, "ftpupload: not trusted: %s\n", questions.refused.c_str());
        return 1;
    }
    if (lastSent != total) {
        std::fprintf(stderr, "ftpupload: the transfer did not complete\n");
        return 1;
    }
    const double mib = static_cast<double>(QFileInfo(local).size()) / (1024.0 * 1024.0);
    const std::vector<double> delays = probe.delays();
    std::printf("ftpupload: %.1f MiB in %.3f s = %.1f MiB/s, %ld progress events "
                "(%.1f a second)\n",
                mib, seconds, seconds > 0 ? mib / seconds : 0.0, events,
                seconds > 0 ? static_cast<double>(events) / seconds : 0.0);
    std::printf("ftpupload: main-thread event delay during the transfer: median %.3f ms, "
                "99%% %.3f ms, max %.3f ms (%zu samples)\n",
                Percentile(delays, 0.5), Percentile(delays, 0.99),
                delays.empty() ? 0.0 : delays.back(), delays.size());
    return 0;
}
