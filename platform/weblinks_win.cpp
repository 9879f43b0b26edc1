// Windows side of platform/weblinks.h: web addresses opened by a process
// that the program's job does not hold.
#ifdef _WIN32

#include "platform/weblinks.h"

#include "platform/childprocesses.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace vantrel::platform {

namespace {

// Opens web addresses with the system's handler, started outside the job.
class OutsideUrlOpener : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &url)
    {
        // url.dll's handler does what the shell does for an address; the
        // encoded form has no quotation marks or spaces to break the line.
        std::vector<wchar_t> folder(MAX_PATH);
        const UINT n = GetSystemDirectoryW(folder.data(), UINT(folder.size()));
        const std::wstring system(folder.data(), n > 0 && n < folder.size() ? n : 0);
        const QByteArray encoded = url.toEncoded();
        const std::wstring address(encoded.begin(), encoded.end());
        const std::wstring handler =
            L"\"" + system + L"\\rundll32.exe\" url.dll,FileProtocolHandler ";
        if (!system.empty() && StartOutsideOurJob(handler + address) != 0)
            return;
        // Started inside the job, a browser closes with us; better than none.
        ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(url.toString().utf16()), nullptr,
                      nullptr, SW_SHOWNORMAL);
    }
};

} // namespace

void OpenWebLinksOutsideOurJob()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    auto *opener = new OutsideUrlOpener;
    opener->setParent(QCoreApplication::instance());
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), opener, "open");
}

} // namespace vantrel::platform

#include "weblinks_win.moc"

#endif // _WIN32
