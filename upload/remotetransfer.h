#pragma once

// The upload as the FTP component runs it: the file goes to a temporary name
// beside the final one, its size on the server is checked, and a separate
// step renames it over the final name (upload/remotereplace decides each
// step). The site's file is never touched until the new one is whole.
// Everything here runs on the thread that uses the FTP component.

#include "upload/curlsession.h"
#include "upload/serverhash.h"

#include <cstdint>
#include <cstdio>
#include <optional>
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

// Sends the part to the temporary name (from its offset on, added to what
// the server holds). The temporary file is left as it is: whoever sends
// decides whether to take it up again or remove it (RemoveLeftover).
void SendToTemporary(SessionState &state, const RemoteTarget &target, const SendPart &part,
                     OperationFlags *operation, TransferOutcome &outcome);

// The size of the temporary file on the server; -1 when the server tells
// none (no such file, no SIZE). outcome.code says whether the connection
// held.
std::int64_t TemporarySize(SessionState &state, const RemoteTarget &target,
                           TransferOutcome &outcome);

// The digest the server computes of the temporary file with `hash` (the
// OPTS that selects the algorithm is sent first, once a login); empty when
// it gives none. outcome.code says whether the connection held.
std::string TemporaryDigest(SessionState &state, const RemoteTarget &target, const ServerHash &hash,
                            TransferOutcome &outcome);

// What the server offers to hash files with (FEAT), asked once a login;
// nothing for SFTP, which has no such command.
std::optional<ServerHash> HashOffered(SessionState &state);

// Checks the whole temporary file: by the digest where `digest` is given and
// the server computes one, else by its size where the server reports one.
// A file that differs ends with outcome.placementFailure and is removed.
// Returns how it was checked: the algorithm's name, "size", or "" (it could
// not be).
std::string CheckTemporary(SessionState &state, const RemoteTarget &target, std::int64_t size,
                           const std::optional<ServerHash> &hash, const std::string &digest,
                           TransferOutcome &outcome);

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
