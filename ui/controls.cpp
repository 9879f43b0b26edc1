#include "ui/controls.h"

#include "ui/windowlook.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantrel {

namespace {

constexpr char kShowsValue[] = "vantrelShowsValue";
constexpr char kIsWindow[] = "vantrelIsWindow";
constexpr char kIsGroup[] = "vantrelIsGroup";

// A label whose name says what it is and whose description is what it
// shows, read afresh at each question of the screen reader.
class ValueLabelAccessible final : public QAccessibleWidget
{
public:
    explicit ValueLabelAccessible(QLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {}

    QString text(QAccessible::Text kind) const override
    {
        const auto *label = static_cast<const QLabel *>(widget());
        switch (kind) {
        case QAccessible::Name:
            return label->accessibleName();
        case QAccessible::Description:
            return label->text();
        default:
            return QAccessibleWidget::text(kind);
        }
    }
};

QAccessibleInterface *ControlsFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("QLabel") && object->property(kShowsValue).toBool())
        return new ValueLabelAccessible(static_cast<QLabel *>(object));
    if (object->property(kIsWindow).toBool())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    // Qt gives a plain frame the border role, which AT-SPI calls a "frame",
    // its word for a top-level window; a box around controls is a group.
    if (object->property(kIsGroup).toBool())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Grouping);
    return nullptr;
}

// Marks `widget` for the factory above and drops the plain interface it may
// have been given already, so that the next question makes ours.
void UseControlsFactory(QWidget *widget, const char *property)
{
    static const bool installed = [] {
        QAccessible::installFactory(ControlsFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(property, true);
    if (QAccessibleInterface *plain = QAccessible::queryAccessibleInterface(widget))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(plain));
}

} // namespace

void ExposeValue(QLabel *label)
{
    UseControlsFactory(label, kShowsValue);
}

void ExposeAsWindow(QWidget *window)
{
    UseControlsFactory(window, kIsWindow);
}

void SetValue(QLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    QAccessibleEvent changed(label, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

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
    ExposeValue(label);
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
    UseControlsFactory(frame, kIsGroup);
    return frame;
}

QLineEdit *MakeTextField(QWidget *parent, const char *name, QRect place)
{
    return Place(new QLineEdit(parent), name, place);
}

} // namespace vantrel
