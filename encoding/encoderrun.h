#pragma once

// One encoding from the composed encoder line to its outcome: the encoder,
// then after a success the repair program, both run in the encoder's window
// over the main window. The texts that tell the user the outcome.

#include "encoding/commandlines.h"

#include <QString>

class QWidget;

namespace vantrel::encoding {

struct EncodeOutcome
{
    enum class Kind {
        EncoderNotStarted, // see reason
        EncodingFailed,    // the encoder ended with exitCode, not 0
        EncodingStopped,   // the user stopped the encoder
        EncoderCrashed,    // the encoder died of a signal
        RepairNotStarted,  // see reason
        RepairFailed,      // the repair program failed, or left no final file
        Encoded,
    };
    Kind kind = Kind::EncodingFailed;
    QString reason; // the operating system's reason why a program did not start
    int exitCode = 0;
};

// The encoder's exit codes for an output that cannot be written, each with
// its reason (the others all mean a source that does not encode, for us):
// 4 no space left, 5 no permission, 6 the file-size limit, 7 another reason.

// The report of an outcome: an error or a notice, and its text. Pure.
struct OutcomeReport
{
    bool isError = true;
    QString text;
};
OutcomeReport ReportFor(const EncodeOutcome &outcome);

class EncoderRun
{
public:
    // `appFolder` holds the two programs; the encoder's window opens over
    // `mainWindow`.
    EncoderRun(QWidget *mainWindow, QString appFolder);

    // Starts the encoder line (as composed into the hidden command box) and
    // waits for it; after a success runs the repair program for `job`.
    EncodeOutcome run(const QString &encoderLine, const EncodeJob &job);

private:
    QWidget *m_mainWindow;
    QString m_appFolder;
};

} // namespace vantrel::encoding
