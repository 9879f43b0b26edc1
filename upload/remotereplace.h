#pragma once

// How an upload replaces the file on the server only once the new one is
// whole: the file goes to a temporary name beside the final one, its size on
// the server is checked where the server reports it, and only then is it
// renamed over the final name. A server that will not rename over an
// existing file gets the old one deleted first. Pure functions: the FTP
// component sends the commands and hands the replies back.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::upload {

// ".NAME.upload" in the folder of `remotePath`: "videos/clip.mp4" gives
// "videos/.clip.mp4.upload". One name per final name, so a file left behind
// by a run that was killed is overwritten by the next upload of that file.
std::string TemporaryRemotePath(std::string_view remotePath);

// One reply line of the server ("350 Ready for destination name").
struct FtpReply
{
    int code = 0;
    std::string text;
};

// The reply line as a code and its text; code 0 when it is not one.
FtpReply ParseFtpReply(std::string_view line);

// The size in the reply to a "SIZE" command; nothing for any reply but 213,
// -1 for a 213 without a readable size.
std::optional<std::int64_t> StoredSize(const FtpReply &reply);

// The failure for the size the server reports for the stored file after a
// "SIZE" command, or nothing when it matches `localSize` or the server does
// not report one (any reply but 213).
std::optional<std::string> StoredSizeFailure(const FtpReply &reply, std::int64_t localSize);

// The rename of the temporary file over the final one, one command at a time:
// Start gives the first command, each reply to it goes to Next, which gives
// the next command until the replace has ended.
class RemoteReplace
{
public:
    struct Step
    {
        // The next command to send; empty when the replace has ended.
        std::string command;
        bool done = false;      // ended, successfully or not
        bool succeeded = false; // the final name holds the new file
        // Whether the temporary file is to be deleted now (it is kept
        // when it holds the only whole copy left).
        bool removeTemporary = false;
        std::string failure; // a description for the user when it failed
    };

    RemoteReplace(std::string temporaryPath, std::string finalPath);

    Step Start();
    Step Next(const FtpReply &reply);

private:
    enum class Stage { RenameFrom, RenameTo, DeleteOld, RetryRenameFrom, RetryRenameTo, Ended };

    Step Send(Stage stage, std::string command);
    Step End(bool succeeded, bool removeTemporary, std::string failure);

    std::string m_temporary;
    std::string m_final;
    Stage m_stage = Stage::RenameFrom;
    std::string m_refusal; // the first refusal of the rename
};

} // namespace vantrel::upload
