#include "common/messages.h"

namespace vantrel {

QString StartupErrorMessage(std::int32_t number, const QString &description)
{
    return QStringLiteral("INTERNAL ERROR OCCURED - ERROR NUMBER: ") + QString::number(number)
           + QStringLiteral(" - ") + description.toUpper()
           + QStringLiteral(". PLEASE CONTACT SUPPORT.");
}

QString UploadErrorMessage(const QString &description)
{
    return description.toUpper() + QStringLiteral(". ") + QStringLiteral("CONTACT SUPPORT.");
}

QString WithReason(const QString &message, const QString &reason)
{
    const QString trimmed = reason.trimmed();
    return trimmed.isEmpty() ? message : message + QLatin1Char('\n') + trimmed.toUpper();
}

QString OutputNotWrittenMessage(const QString &reason)
{
    const QString trimmed = reason.trimmed();
    const QString message = QStringLiteral("THE OUTPUT FILE COULD NOT BE WRITTEN");
    return trimmed.isEmpty()
               ? message + QLatin1Char('!')
               : message + QStringLiteral(": ") + trimmed.toUpper() + QLatin1Char('!');
}

namespace {

// "THE CERTIFICATE OF THE SERVER FTP.EXAMPLE.COM:21"
QString OfTheServer(const char *what, const QString &server)
{
    return QStringLiteral("THE ") + QLatin1String(what) + QStringLiteral(" OF THE SERVER ")
           + server.toUpper();
}

// "ED25519 KEY FINGERPRINT:\nSHA256:..." (base64: its case is kept).
QString KeyFingerprint(const QString &type, const QString &fingerprint)
{
    return type.toUpper() + QStringLiteral(" KEY FINGERPRINT:\n") + fingerprint;
}

const QString kNothingSent = QStringLiteral("NOTHING WAS SENT!");

} // namespace

QString UntrustedCertificateQuestion(const QString &server, const QString &fingerprint,
                                     bool changed)
{
    return OfTheServer("CERTIFICATE", server)
           + (changed ? QStringLiteral(" HAS CHANGED AND COULD NOT BE VERIFIED.")
                      : QStringLiteral(" COULD NOT BE VERIFIED."))
           + QStringLiteral("\n\nSHA-256 FINGERPRINT:\n") + fingerprint.toUpper()
           + (changed ? QStringLiteral("\n\nDO YOU WANT TO TRUST THE NEW CERTIFICATE?")
                      : QStringLiteral("\n\nDO YOU WANT TO TRUST THIS CERTIFICATE?"));
}

QString CertificateRefusedMessage(const QString &server)
{
    return OfTheServer("CERTIFICATE", server) + QStringLiteral(" IS NOT TRUSTED. ") + kNothingSent;
}

QString UnknownHostKeyQuestion(const QString &server, const QString &type,
                               const QString &fingerprint)
{
    return OfTheServer("HOST KEY", server) + QStringLiteral(" IS NOT KNOWN.\n\n")
           + KeyFingerprint(type, fingerprint)
           + QStringLiteral("\n\nDO YOU WANT TO TRUST THIS KEY?");
}

QString HostKeyRefusedMessage(const QString &server)
{
    return OfTheServer("HOST KEY", server) + QStringLiteral(" IS NOT TRUSTED. ") + kNothingSent;
}

QString HostKeyChangedMessage(const QString &server, const QString &type,
                              const QString &fingerprint)
{
    return OfTheServer("HOST KEY", server)
           + QStringLiteral(" HAS CHANGED. IT IS NOT THE KEY KNOWN FOR THIS SERVER.\n\n")
           + KeyFingerprint(type, fingerprint) + QStringLiteral("\n\n") + kNothingSent;
}

} // namespace vantrel
