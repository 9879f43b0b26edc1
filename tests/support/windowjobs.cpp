#include "tests/support/windowjobs.h"

#include "encoding/encodingjob.h"
#include "shell/frmmain.h"
#include "upload/uploadjob.h"

#include <QAbstractButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vantrel::test {

void WaitForJobs(const frmMain &window, int timeoutMs)
{
    const bool ended = QTest::qWaitFor(
        [&window] {
            return !window.uploadJob()->isRunning() && !window.encodingJob()->isRunning();
        },
        timeoutMs);
    EXPECT_TRUE(ended) << "a job of the window was still running after " << timeoutMs << " ms";
}

void ClickAndWait(QAbstractButton *button, const frmMain &window, int timeoutMs)
{
    button->click();
    WaitForJobs(window, timeoutMs);
}

} // namespace vantrel::test
