#include "upload/ftpclient.h"

#include "common/failure.h"

namespace vantrel {

class FtpClient::Private
{
};

FtpClient::FtpClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{}

FtpClient::~FtpClient() = default;

bool FtpClient::IsConnected() const
{
    return false;
}

void FtpClient::Connect(const QString &, const QString &, const QString &, int, bool) {}

void FtpClient::Disconnect() {}

void FtpClient::UploadFile(const QString &, const QString &, const QString &) {}

} // namespace vantrel
