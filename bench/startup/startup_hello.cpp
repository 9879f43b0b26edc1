// The peer of startup_vantrel: a bare Qt window of the same size with one
// button, timed the same way up to its first paint.
#include "firstpaint.h"

#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    startupbench::Milestones milestones("hello");
    QApplication app(argc, argv);
    milestones.mark("app");

    QWidget window;
    window.setWindowTitle(QStringLiteral("Hello"));
    window.setFixedSize(416, 258);
    QPushButton button(QStringLiteral("Hello"), &window);
    button.move(8, 8);
    milestones.mark("built");
    milestones.finishAfterFirstPaint(&window);
    window.show();
    milestones.mark("loaded");
    return app.exec();
}
