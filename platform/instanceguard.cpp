#include "platform/instanceguard.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace vantrel::platform {

InstanceGuard::InstanceGuard(const QString &name)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(name + QStringLiteral(".lock")));
    // A lock whose owner process is gone is taken over at once, whatever its age.
    m_lock->setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::anotherInstanceRunning()
{
    if (m_lock->isLocked())
        return false;
    if (m_lock->tryLock(0))
        return false;
    return m_lock->error() == QLockFile::LockFailedError;
}

} // namespace vantrel::platform
