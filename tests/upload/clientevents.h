#pragma once

// The events of one FTP client, recorded, with the test acting inside them
// where it needs to; and the failure a call of the client ended with.

#include "common/qtbridge.h"
#include "common/result.h"
#include "upload/ftpclient.h"
#include "upload/truststore.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vantrel::test {

class ClientEvents final : public FtpEvents
{
public:
    struct Progress
    {
        std::int64_t sent;
        std::int64_t total;
    };
    struct Question
    {
        upload::IdentityKind kind;
        QString server;
        QString type;
        QString fingerprint;
        bool changed = false;
    };

    explicit ClientEvents(FtpClient &client) { client.setEvents(this); }

    std::vector<Progress> progress;
    int completions = 0;
    int retries = 0;
    // Where each attempt after a break went on from (0: from the start).
    std::vector<std::int64_t> resumedAt;
    std::vector<Question> questions;
    // The answer to every identity question; a Yes is kept in `keep`, when
    // one is given, as the upload job keeps it.
    bool trustAnswer = false;
    const upload::TrustStore *keep = nullptr;
    std::function<void(const Progress &, bool &cancel)> onProgress;

    bool IdentityUnverified(const upload::ServerIdentity &seen, bool changed) override
    {
        questions.push_back({seen.kind, FromUtf8(seen.server), FromUtf8(seen.type),
                             FromUtf8(seen.fingerprint), changed});
        if (trustAnswer && keep) {
            EXPECT_TRUE(keep->Remember(seen).ok());
        }
        return trustAnswer;
    }

    void TransferProgress(const QString &, const QString &, std::int32_t, std::int64_t sent,
                          std::int64_t total, bool &cancel) override
    {
        progress.push_back({sent, total});
        if (onProgress)
            onProgress(progress.back(), cancel);
    }

    void TransferRetrying(int, int, const std::string &) override { ++retries; }
    void TransferResumed(std::int64_t offset) override { resumedAt.push_back(offset); }

    void TransferComplete(const QString &, const QString &, std::int32_t) override
    {
        ++completions;
    }
};

// Attempts after a break follow at once: the tests' breaks are on purpose.
inline const upload::RetryPolicy kQuickRetries{5, std::chrono::milliseconds(20),
                                               std::chrono::milliseconds(100)};

// The description of the failure a call ended with, or "<no failure>".
inline std::string FailureOf(const Result<> &result)
{
    return result ? std::string("<no failure>") : result.failure().description();
}

inline ::testing::AssertionResult Succeeded(const Result<> &result)
{
    if (result)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << result.failure().description();
}

} // namespace vantrel::test
