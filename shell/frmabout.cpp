#include "shell/frmabout.h"

namespace vantrel {

frmAbout::frmAbout(const AppContext &context, QWidget *mainWindow)
    : QDialog(mainWindow)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Vantrel"));
}

} // namespace vantrel
