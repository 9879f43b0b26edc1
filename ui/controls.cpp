#include "ui/controls.h"

#include "ui/windowlook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantrel {

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *label = Place(new QLabel(caption, parent), name, place);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *MakeValueLabel(QWidget *parent, const char *name, const QString &accessibleName,
                       QRect place)
{
    QLabel *label = MakeLabel(parent, name, QString(), place);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setAutoFillBackground(true);
    label->setAccessibleName(accessibleName);
    return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *button = Place(new QPushButton(caption, parent), name, place);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QPushButton *MakeBoldButton(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    QPushButton *button = MakeButton(parent, name, caption, place);
    button->setFont(BoldButtonFont());
    return button;
}

QFrame *MakeFrame(QWidget *parent, const char *name, QRect place)
{
    auto *frame = Place(new QFrame(parent), name, place);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return frame;
}

QLineEdit *MakeTextField(QWidget *parent, const char *name, QRect place)
{
    return Place(new QLineEdit(parent), name, place);
}

} // namespace vantrel
