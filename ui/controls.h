#pragma once

// The one factory of the windows' controls: each is named after its role and
// put at its place in twips (see Place and TwipsRect), with the look every
// window gives it.

#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vantrel {

// A plain-text caption label.
QLabel *MakeLabel(QWidget *parent, const char *name, const QString &caption, QRect place);

// A label with a single-line border that shows a value; screen readers get
// its purpose as its name and the value as its description (ExposeValue).
QLabel *MakeValueLabel(QWidget *parent, const char *name, const QString &accessibleName,
                       QRect place);

// Lets assistive technology read what a label with a fixed accessible name
// shows: the name stays, the label's current text is the description.
void ExposeValue(QLabel *label);

// Lets assistive technology see a top-level window that is a plain QWidget
// as a window (a frame, over AT-SPI) rather than as an unnamed part of one,
// so that a screen reader announces it by its title.
void ExposeAsWindow(QWidget *window);

// Shows `text` in a value label and tells assistive technology that what it
// shows has changed.
void SetValue(QLabel *label, const QString &text);

// A button that Enter does not press unless it has the focus.
QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect place);

// The same in the bold button font.
QPushButton *MakeBoldButton(QWidget *parent, const char *name, const QString &caption, QRect place);

// A frame without caption, with the usual sunken border.
QFrame *MakeFrame(QWidget *parent, const char *name, QRect place);

// A single-line text field.
QLineEdit *MakeTextField(QWidget *parent, const char *name, QRect place);

} // namespace vantrel
