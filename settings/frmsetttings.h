#pragma once

#include "shell/appcontext.h"

#include <QDialog>

namespace vantrel {

// The FTP settings window: four fields read from the settings file at each
// opening, saved after three checks.
class frmSetttings : public QDialog
{
    Q_OBJECT

public:
    frmSetttings(const AppContext &context, QWidget *mainWindow);

private:
    AppContext m_context;
};

} // namespace vantrel
