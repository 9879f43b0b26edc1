#include "tests/support/scripteddialogs.h"

#include <gtest/gtest.h>

namespace vantrel::test {

ScriptedDialogs::~ScriptedDialogs() = default;

void ScriptedDialogs::answer(int result, std::function<void()> onShow)
{
    m_answers.enqueue({result, std::move(onShow)});
}

void ScriptedDialogs::chooseFile(const std::optional<QString> &path)
{
    m_files.enqueue(path);
}

void ScriptedDialogs::chooseFolder(const QString &folder)
{
    m_folders.enqueue(folder);
}

QStringList ScriptedDialogs::boxTexts() const
{
    QStringList texts;
    for (const ShownBox &box : m_boxes)
        texts << box.text;
    return texts;
}

void ScriptedDialogs::clear()
{
    m_answers.clear();
    m_files.clear();
    m_folders.clear();
    m_boxes.clear();
    m_fileRequests.clear();
    m_folderTitles.clear();
    m_urls.clear();
}

bool ScriptedDialogs::allAnswersUsed() const
{
    return m_answers.isEmpty() && m_files.isEmpty() && m_folders.isEmpty();
}

int ScriptedDialogs::messageBox(QWidget *, const QString &text, const QString &title, int style)
{
    m_boxes.append({text, title, style});
    if (m_answers.isEmpty()) {
        ADD_FAILURE() << "unexpected message box: \"" << text.toStdString() << "\" ("
                      << title.toStdString() << ", " << style << ")";
        return style == vbQuestionYesNo ? vbNo : vbOK;
    }
    Answer next = m_answers.dequeue();
    if (next.onShow)
        next.onShow();
    return next.result;
}

std::optional<QString> ScriptedDialogs::openFile(QWidget *, const OpenFileRequest &request)
{
    m_fileRequests.append(request);
    if (m_files.isEmpty()) {
        ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
        return std::nullopt;
    }
    return m_files.dequeue();
}

QString ScriptedDialogs::browseForFolder(QWidget *, const QString &title)
{
    m_folderTitles.append(title);
    if (m_folders.isEmpty()) {
        ADD_FAILURE() << "unexpected folder browser: " << title.toStdString();
        return {};
    }
    return m_folders.dequeue();
}

bool ScriptedDialogs::openUrl(const QUrl &url)
{
    m_urls.append(url);
    return m_openUrlResult;
}

AppContext TestContext(ScriptedDialogs &dialogs, const QString &appFolder, int &endCount)
{
    AppContext context;
    context.dialogs = &dialogs;
    context.appFolder = appFolder;
    context.endApplication = [&endCount] {
        ++endCount;
    };
    context.showSplash = false;
    return context;
}

} // namespace vantrel::test
