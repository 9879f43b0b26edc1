#pragma once

// What an upload that has not ended yet leaves behind in the settings folder
// ("unfinished-uploads.txt"), so that the next upload of the same local file
// to the same place can take up the temporary file on the server instead of
// starting over: which local file it was (its size and modification time)
// and how far it had come, with the digest of the part sent. An upload that
// ends, however it ends, takes its line out again.

#include "platform/filestore.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vantrel::upload {

inline constexpr const char *kUnfinishedUploadsFileName = "unfinished-uploads.txt";

struct UnfinishedUpload
{
    // Which upload: the server ("host:port"), the temporary file there, the
    // local file (UTF-8).
    std::string server;
    std::string remotePath;
    std::string localPath;
    // The local file as it was when the upload began.
    std::int64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since the epoch
    // The part sent so far: its length and its digest ("SHA-256" and hex).
    std::string algorithm;
    std::int64_t sent = 0;
    std::string digest;
};

// The size and modification time of a local file, as a record keeps them.
bool StatLocalFile(const std::filesystem::path &file, std::int64_t &size, std::int64_t &modified);

class UnfinishedUploads
{
public:
    // The file in `folder`; an empty folder keeps nothing.
    explicit UnfinishedUploads(std::filesystem::path folder = {});

    // The record of this server, temporary file and local file, if any.
    std::optional<UnfinishedUpload> Find(const std::string &server, const std::string &remotePath,
                                         const std::string &localPath) const;
    // Adds or replaces the record of its upload, keeping the others.
    platform::FileStatus Save(const UnfinishedUpload &upload) const;
    platform::FileStatus Forget(const std::string &server, const std::string &remotePath,
                                const std::string &localPath) const;

private:
    std::filesystem::path file() const;
    std::filesystem::path m_folder;
};

} // namespace vantrel::upload
