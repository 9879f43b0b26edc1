#include "upload/remotereplace.h"

#include "common/ascii.h"

#include <charconv>
#include <utility>

namespace vantrel::upload {

namespace {

bool Positive(const FtpReply &reply)
{
    return reply.code >= 200 && reply.code < 300;
}

// Replies that say a command is not known or not implemented at all.
bool NotImplemented(const FtpReply &reply)
{
    return reply.code == 500 || reply.code == 502 || reply.code == 504;
}

// The reply as reports show it: without a closing full stop (they add their
// own), or a fallback when the server gave no reply line.
std::string Words(const FtpReply &reply, const char *otherwise)
{
    std::string text = reply.text;
    while (text.size() > 4 && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return reply.code != 0 ? text : otherwise;
}

} // namespace

std::string TemporaryRemotePath(std::string_view remotePath)
{
    const std::size_t slash = remotePath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string path(remotePath.substr(0, nameStart));
    path += '.';
    path += remotePath.substr(nameStart);
    path += ".upload";
    return path;
}

FtpReply ParseFtpReply(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 3 || !ascii::IsDigit(line[0]) || !ascii::IsDigit(line[1])
        || !ascii::IsDigit(line[2]) || (line.size() > 3 && line[3] != ' '))
        return {};
    return {(line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'), std::string(line)};
}

std::optional<std::int64_t> StoredSize(const FtpReply &reply)
{
    if (reply.code != 213)
        return std::nullopt;
    const std::string_view digits = ascii::Trimmed(std::string_view(reply.text).substr(3));
    std::int64_t stored = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), stored);
    if (error != std::errc() || end != digits.data() + digits.size() || stored < 0)
        return -1;
    return stored;
}

std::optional<std::string> StoredSizeFailure(const FtpReply &reply, std::int64_t localSize)
{
    const std::optional<std::int64_t> stored = StoredSize(reply);
    if (!stored || *stored == localSize)
        return std::nullopt;
    if (*stored < 0)
        return "The server reported an unreadable size for the uploaded file";
    return "The upload is incomplete: the server holds " + std::to_string(*stored) + " of "
           + std::to_string(localSize) + " bytes";
}

RemoteReplace::RemoteReplace(std::string temporaryPath, std::string finalPath)
    : m_temporary(std::move(temporaryPath))
    , m_final(std::move(finalPath))
{}

RemoteReplace::Step RemoteReplace::Start()
{
    return Send(Stage::RenameFrom, "RNFR " + m_temporary);
}

RemoteReplace::Step RemoteReplace::Next(const FtpReply &reply)
{
    switch (m_stage) {
    case Stage::RenameFrom:
        if (reply.code == 350)
            return Send(Stage::RenameTo, "RNTO " + m_final);
        if (NotImplemented(reply))
            return End(false, true,
                       "The server cannot rename files, so the file on the server was not "
                       "replaced");
        return End(false, true, Words(reply, "Server refused the file"));
    case Stage::RenameTo:
        if (Positive(reply))
            return End(true, false, {});
        // Some servers rename only onto a free name: the old file goes
        // first. When there is none to delete, the refusal was about
        // something else and stands.
        m_refusal = Words(reply, "Server refused the file");
        return Send(Stage::DeleteOld, "DELE " + m_final);
    case Stage::DeleteOld:
        if (!Positive(reply))
            return End(false, true, m_refusal);
        return Send(Stage::RetryRenameFrom, "RNFR " + m_temporary);
    case Stage::RetryRenameFrom:
        if (reply.code == 350)
            return Send(Stage::RetryRenameTo, "RNTO " + m_final);
        break;
    case Stage::RetryRenameTo:
        if (Positive(reply))
            return End(true, false, {});
        break;
    case Stage::Ended:
        return End(false, false, "Unexpected answer from server");
    }
    // The old file is gone and the new one is whole under its temporary
    // name: it stays there, and the user is told where.
    return End(false, false,
               "The old file was deleted but the new one could not be renamed; it is on the "
               "server as "
                   + m_temporary);
}

RemoteReplace::Step RemoteReplace::Send(Stage stage, std::string command)
{
    m_stage = stage;
    Step step;
    step.command = std::move(command);
    return step;
}

RemoteReplace::Step RemoteReplace::End(bool succeeded, bool removeTemporary, std::string failure)
{
    m_stage = Stage::Ended;
    Step step;
    step.done = true;
    step.succeeded = succeeded;
    step.removeTemporary = removeTemporary;
    step.failure = std::move(failure);
    return step;
}

} // namespace vantrel::upload
