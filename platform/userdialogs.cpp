#include "platform/userdialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace vantrel {

int ShowError(UserDialogs &dialogs, QWidget *parent, const QString &text)
{
    return dialogs.messageBox(parent, text, QStringLiteral("Error"), vbCritical);
}

int AskQuestion(UserDialogs &dialogs, QWidget *parent, const QString &text)
{
    return dialogs.messageBox(parent, text, QStringLiteral("Confirm"), vbQuestionYesNo);
}

int ShowNotice(UserDialogs &dialogs, QWidget *parent, const QString &text)
{
    return dialogs.messageBox(parent, text, QStringLiteral("Message"), vbInformation);
}

QString QtFilterFromVbFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

int QtUserDialogs::messageBox(QWidget *parent, const QString &text, const QString &title, int style)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    if (style == vbQuestionYesNo) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setIcon(style == vbCritical ? QMessageBox::Critical : QMessageBox::Information);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}

std::optional<QString> QtUserDialogs::openFile(QWidget *parent, const OpenFileRequest &request)
{
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((request.flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile
                                                             : QFileDialog::AnyFile);
    dialog.setNameFilter(QtFilterFromVbFilter(request.filter));
    if (!request.fileName.isEmpty()) {
        const QFileInfo last(request.fileName);
        if (last.isAbsolute())
            dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QString QtUserDialogs::browseForFolder(QWidget *parent, const QString &title)
{
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

bool QtUserDialogs::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace vantrel
