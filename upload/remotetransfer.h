#pragma once

// The upload as the FTP component runs it: the file goes to a temporary name
// beside the final one, its size on the server is checked, and a separate
// step renames it over the final name (upload/remotereplace decides each
// step). The site's file is never touched until the new one is whole.
// Everything here runs on the thread that uses the FTP component.

#include "upload/curlsession.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace vantrel::upload {

struct RemoteTarget
{
    std::string finalPath;     // as the user gave it
    std::string temporaryPath; // beside it, see TemporaryRemotePath
    std::string temporaryUrl;  // the URL that stores to temporaryPath
    bool sftp = false;         // SFTP commands rather than FTP ones
};

RemoteTarget MakeRemoteTarget(const std::string &serverUrl, const std::string &remotePath);

// Sends `size` bytes of `file` to the temporary name and compares the size the
// server then reports. A failed transfer removes the temporary file where the
// server still answers; a cancelled one leaves that to RemoveLeftover, so
// the cancel takes effect at once.
void SendToTemporary(SessionState &state, const RemoteTarget &target, std::FILE *file,
                     std::int64_t size, OperationFlags *operation, TransferOutcome &outcome);

// Renames the temporary file over the final name. A refusal ends with
// outcome.placementFailure; a broken connection with outcome.code.
void PutInPlace(SessionState &state, const RemoteTarget &target, TransferOutcome &outcome);

// Deletes the temporary file an ended upload left, if any, on a new
// connection when libcurl has closed the old one; waits a few seconds at
// most.
void RemoveLeftover(SessionState &state);

// Whether the outcome is a whole file sent and confirmed.
bool WholeFileSent(const TransferOutcome &outcome);

} // namespace vantrel::upload
