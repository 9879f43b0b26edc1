#include "common/qtbridge.h"

#include <QStringList>

namespace vantrel {

std::string ToUtf8(const QString &text)
{
    QString whole = text;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        const QChar c = whole.at(i);
        if (c.isHighSurrogate() && i + 1 < whole.size() && whole.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            whole[i] = QChar::ReplacementCharacter;
    }
    return whole.toStdString();
}

QStringList FromUtf8(const std::vector<std::string> &items)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string &item : items)
        list << FromUtf8(item);
    return list;
}

} // namespace vantrel
