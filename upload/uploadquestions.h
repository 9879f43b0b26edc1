#pragma once

// What an upload has to ask whoever started it: the main window asks with
// message boxes, vantrel-cli on the terminal or from its options, tests with
// answers given in advance. The upload job asks on the thread it belongs to,
// and waits for the answer; the transfer is paused meanwhile.

#include "upload/truststore.h"

namespace vantrel::upload {

class UploadQuestions
{
public:
    virtual ~UploadQuestions() = default;

    // A certificate that could not be verified; `changed`: another one was
    // trusted for the server before. True: trust it from now on.
    virtual bool TrustCertificate(const ServerIdentity &certificate, bool changed) = 0;

    // An SFTP host key that is known neither to ~/.ssh/known_hosts nor to
    // the program. True: accept it from now on.
    virtual bool AcceptHostKey(const ServerIdentity &hostKey) = 0;

    // The user asked to cancel: is the upload to be abandoned?
    virtual bool AbortUpload() = 0;
};

} // namespace vantrel::upload
