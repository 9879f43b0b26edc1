// Uploads one file with the upload job, as the program does, until it ends
// or this process is killed: SETTINGS-FOLDER LOCAL-FILE ADDRESS USER PASSWORD.
// The file goes to the server's login folder under its own name; "SENT N"
// lines tell how far it has come.

#include "common/qtbridge.h"
#include "upload/uploadjob.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

// Nothing to ask: a test server that needs no trust.
class NoQuestions final : public vantrel::upload::UploadQuestions
{
public:
    bool TrustCertificate(const vantrel::upload::ServerIdentity &, bool) override { return false; }
    bool AcceptHostKey(const vantrel::upload::ServerIdentity &) override { return false; }
    bool AbortUpload() override { return false; }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6)
        return 2;
    NoQuestions questions;
    vantrel::upload::UploadJob job(args[1], questions);
    int code = 1;
    QObject::connect(&job, &vantrel::upload::UploadJob::progressed, &job,
                     [](const vantrel::upload::UploadProgress &progress) {
                         std::printf("SENT %lld\n", static_cast<long long>(progress.sent));
                         std::fflush(stdout);
                     });
    QObject::connect(&job, &vantrel::upload::UploadJob::finished, &job,
                     [&code](const vantrel::upload::UploadOutcome &outcome) {
                         code =
                             outcome.kind == vantrel::upload::UploadOutcome::Kind::Uploaded ? 0 : 1;
                         QCoreApplication::quit();
                     });
    job.start({args[2], QFileInfo(args[2]).fileName(), vantrel::ToUtf8(args[3]),
               vantrel::ToUtf8(args[4]), vantrel::ToUtf8(args[5]), ""});
    QCoreApplication::exec();
    return code;
}
