#pragma once

// The main window starts its encodings and uploads and returns at once; a
// test that clicks waits here until what the click started has ended and
// been reported.

class QAbstractButton;

namespace vantrel {
class frmMain;
}

namespace vantrel::test {

// Waits until neither of the window's jobs runs; fails the test after
// `timeoutMs`.
void WaitForJobs(const frmMain &window, int timeoutMs = 120000);

// Clicks `button`, then waits as WaitForJobs does.
void ClickAndWait(QAbstractButton *button, const frmMain &window, int timeoutMs = 120000);

} // namespace vantrel::test
