#pragma once

#include "shell/appcontext.h"

#include <QDialog>

namespace vantrel {

// The About window: the program's picture, the encoder it relies on, the
// maker's site and copyright. Created afresh at each opening.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    frmAbout(const AppContext &context, QWidget *mainWindow);

private:
    AppContext m_context;
};

} // namespace vantrel
