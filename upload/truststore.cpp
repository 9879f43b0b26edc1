#include "upload/truststore.h"

#include "upload/certtrust.h"
#include "upload/sftphostkey.h"

#include <cerrno>
#include <utility>

namespace vantrel::upload {

namespace {

struct KindInfo
{
    const char *fileName;
    ValueCheck check;
};

KindInfo InfoOf(IdentityKind kind)
{
    if (kind == IdentityKind::Certificate)
        return {kTrustFileName, NormalizeFingerprint};
    return {kAcceptedKeysFileName, NormalizeHostKeyFingerprint};
}

} // namespace

TrustStore::TrustStore(std::filesystem::path folder)
    : m_folder(std::move(folder))
{}

std::filesystem::path TrustStore::FileOf(IdentityKind kind) const
{
    return m_folder / InfoOf(kind).fileName;
}

std::optional<std::string> TrustStore::Known(IdentityKind kind, const std::string &server) const
{
    if (m_folder.empty())
        return std::nullopt;
    const TrustedCertificates lines = ReadServerLines(FileOf(kind), InfoOf(kind).check);
    const auto found = lines.find(server);
    if (found == lines.end())
        return std::nullopt;
    return found->second;
}

platform::FileStatus TrustStore::Remember(const ServerIdentity &identity) const
{
    if (m_folder.empty())
        return {ENOENT, false};
    return SetServerLine(FileOf(identity.kind), identity.server, identity.fingerprint,
                         InfoOf(identity.kind).check);
}

} // namespace vantrel::upload
