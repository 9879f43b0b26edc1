#pragma once

// The program's start: the running application's names, icon and fonts, and
// the context its windows get (the real dialogs, the single-instance guard,
// the application folder, the immediate end). Used by main() and by the
// start-up benchmark alike.

#include "platform/instanceguard.h"
#include "platform/userdialogs.h"
#include "ui/appcontext.h"

#include <functional>

namespace vantrel {

// Names the running QApplication, gives it the program's icon and makes
// "Tahoma" resolve to the program's face.
void PrepareApplication();

class ProgramContext
{
public:
    // `lockName` names the single-instance lock; `end` ends the program at
    // once (no window runs another handler, nothing is saved).
    ProgramContext(const QString &lockName, std::function<void()> end);
    ProgramContext(const ProgramContext &) = delete;
    ProgramContext &operator=(const ProgramContext &) = delete;

    AppContext &context() { return m_context; }

private:
    QtUserDialogs m_dialogs;
    platform::InstanceGuard m_guard;
    AppContext m_context;
};

} // namespace vantrel
