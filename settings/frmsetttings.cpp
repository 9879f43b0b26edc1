#include "settings/frmsetttings.h"

namespace vantrel {

frmSetttings::frmSetttings(const AppContext &context, QWidget *mainWindow)
    : QDialog(mainWindow)
    , m_context(context)
{
    setObjectName(QStringLiteral("frmSetttings"));
    setWindowTitle(QStringLiteral("FTP Settings - Brenmoor"));
}

} // namespace vantrel
