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

QString UntrustedCertificateQuestion(const QString &server, const QString &fingerprint,
                                     bool changed)
{
    const QString head = QStringLiteral("THE CERTIFICATE OF THE SERVER ") + server.toUpper()
                         + (changed ? QStringLiteral(" HAS CHANGED AND COULD NOT BE VERIFIED.")
                                    : QStringLiteral(" COULD NOT BE VERIFIED."));
    return head + QStringLiteral("\n\nSHA-256 FINGERPRINT:\n") + fingerprint.toUpper()
           + (changed ? QStringLiteral("\n\nDO YOU WANT TO TRUST THE NEW CERTIFICATE?")
                      : QStringLiteral("\n\nDO YOU WANT TO TRUST THIS CERTIFICATE?"));
}

QString CertificateRefusedMessage(const QString &server)
{
    return QStringLiteral("THE CERTIFICATE OF THE SERVER ") + server.toUpper()
           + QStringLiteral(" IS NOT TRUSTED. NOTHING WAS SENT!");
}

QString UnknownHostKeyQuestion(const QString &server, const QString &type,
                               const QString &fingerprint)
{
    return QStringLiteral("THE HOST KEY OF THE SERVER ") + server.toUpper()
           + QStringLiteral(" IS NOT KNOWN.\n\n") + type.toUpper()
           + QStringLiteral(" KEY FINGERPRINT:\n") + fingerprint
           + QStringLiteral("\n\nDO YOU WANT TO TRUST THIS KEY?");
}

QString HostKeyRefusedMessage(const QString &server)
{
    return QStringLiteral("THE HOST KEY OF THE SERVER ") + server.toUpper()
           + QStringLiteral(" IS NOT TRUSTED. NOTHING WAS SENT!");
}

QString HostKeyChangedMessage(const QString &server, const QString &type,
                              const QString &fingerprint)
{
    return QStringLiteral("THE HOST KEY OF THE SERVER ") + server.toUpper()
           + QStringLiteral(" HAS CHANGED. IT IS NOT THE KEY KNOWN FOR THIS SERVER.\n\n")
           + type.toUpper() + QStringLiteral(" KEY FINGERPRINT:\n") + fingerprint
           + QStringLiteral("\n\nNOTHING WAS SENT!");
}

} // namespace vantrel
