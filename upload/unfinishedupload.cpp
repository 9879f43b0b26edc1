#include "upload/unfinishedupload.h"

#include "common/ascii.h"
#include "upload/certtrust.h"

#include <charconv>
#include <chrono>
#include <system_error>
#include <utility>

namespace vantrel::upload {

namespace {

// The key of a record, one word: the three names percent-encoded where they
// hold anything but letters, digits and "-._~/:@[]".
std::string KeyOf(const std::string &server, const std::string &remotePath,
                  const std::string &localPath)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string key;
    for (const std::string *part : {&server, &remotePath, &localPath}) {
        if (!key.empty())
            key += '|';
        for (const char c : *part) {
            const auto byte = static_cast<unsigned char>(c);
            const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
                               || ascii::IsDigit(c)
                               || std::string_view("-._~/:@[]").find(c) != std::string_view::npos;
            if (plain) {
                key += c;
            } else {
                key += '%';
                key += kDigits[byte >> 4];
                key += kDigits[byte & 0xF];
            }
        }
    }
    return key;
}

// The value of a record: "SIZE MODIFIED ALGORITHM SENT DIGEST".
std::string ValueOf(const UnfinishedUpload &upload)
{
    return std::to_string(upload.size) + ' ' + std::to_string(upload.modified) + ' '
           + upload.algorithm + ' ' + std::to_string(upload.sent) + ' ' + upload.digest;
}

bool ReadNumber(std::string_view word, std::int64_t &number)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc() && end == word.data() + word.size() && number >= 0;
}

// The five words of a value, in order; false when it is not one.
bool ParseValue(std::string_view value, UnfinishedUpload &upload)
{
    std::string_view words[5];
    for (std::string_view &word : words) {
        value = ascii::Trimmed(value);
        const std::size_t end = std::min(value.find(' '), value.size());
        word = value.substr(0, end);
        value.remove_prefix(end);
        if (word.empty())
            return false;
    }
    upload.algorithm = std::string(words[2]);
    upload.digest = std::string(words[4]);
    return ascii::Trimmed(value).empty() && ReadNumber(words[0], upload.size)
           && ReadNumber(words[1], upload.modified) && ReadNumber(words[3], upload.sent)
           && upload.sent <= upload.size;
}

std::optional<std::string> CheckValue(std::string_view value)
{
    UnfinishedUpload upload;
    if (!ParseValue(value, upload))
        return std::nullopt;
    return ValueOf(upload);
}

} // namespace

bool StatLocalFile(const std::filesystem::path &file, std::int64_t &size, std::int64_t &modified)
{
    std::error_code error;
    const auto bytes = std::filesystem::file_size(file, error);
    if (error)
        return false;
    const auto time = std::filesystem::last_write_time(file, error);
    if (error)
        return false;
    size = static_cast<std::int64_t>(bytes);
    const auto since1970 = std::chrono::file_clock::to_sys(time).time_since_epoch();
    modified = std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count();
    return true;
}

UnfinishedUploads::UnfinishedUploads(std::filesystem::path folder)
    : m_folder(std::move(folder))
{}

std::filesystem::path UnfinishedUploads::file() const
{
    return m_folder / kUnfinishedUploadsFileName;
}

std::optional<UnfinishedUpload> UnfinishedUploads::Find(const std::string &server,
                                                        const std::string &remotePath,
                                                        const std::string &localPath) const
{
    if (m_folder.empty())
        return std::nullopt;
    const TrustedCertificates lines = ReadServerLines(file(), CheckValue);
    const auto found = lines.find(KeyOf(server, remotePath, localPath));
    if (found == lines.end())
        return std::nullopt;
    UnfinishedUpload upload;
    upload.server = server;
    upload.remotePath = remotePath;
    upload.localPath = localPath;
    ParseValue(found->second, upload);
    return upload;
}

platform::FileStatus UnfinishedUploads::Save(const UnfinishedUpload &upload) const
{
    if (m_folder.empty())
        return {};
    return SetServerLine(file(), KeyOf(upload.server, upload.remotePath, upload.localPath),
                         ValueOf(upload), CheckValue);
}

platform::FileStatus UnfinishedUploads::Forget(const std::string &server,
                                               const std::string &remotePath,
                                               const std::string &localPath) const
{
    if (m_folder.empty())
        return {};
    return SetServerLine(file(), KeyOf(server, remotePath, localPath), {}, CheckValue);
}

} // namespace vantrel::upload
