#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace vantrel::platform {

// One running instance per user: a lock file in the user's runtime folder.
// The lock dies with its process, so a crashed instance never blocks a later
// start.
class InstanceGuard
{
public:
    // `name` tells programs apart; tests pass a name of their own.
    explicit InstanceGuard(const QString &name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // Takes the lock if it is free; true when another live instance holds it.
    bool anotherInstanceRunning();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace vantrel::platform
