#include "ShellOpen.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {
std::function<void(const QString &)> &recorder()
{
    static std::function<void(const QString &)> r;
    return r;
}
} // namespace

void Shell::setRecorder(std::function<void(const QString &)> r)
{
    recorder() = std::move(r);
}

void ShellOpen(const QString &text)
{
    if (recorder()) {
        recorder()(text);
        return;
    }
#if defined(Q_OS_WIN)
    ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t *>(text.utf16()), L"", L"", SW_SHOW);
#elif defined(Q_OS_MACOS)
    QProcess::startDetached(QStringLiteral("open"), {text});
#else
    QProcess::startDetached(QStringLiteral("xdg-open"), {text});
#endif
}

QString Shell::webAddress(const QString &text)
{
    for (const char *scheme : {"http://", "https://", "ftp://"}) {
        if (text.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            return text;
    }
    // What the Windows shell itself does with a bare "www." name.
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QStringLiteral("http://") + text;
    return QString();
}

QString Shell::mailto(const QString &address)
{
    return QStringLiteral("mailto:") + address.left(address.indexOf(u'?'));
}

void ShellOpenWeb(const QString &text)
{
    const QString address = Shell::webAddress(text);
    if (!address.isEmpty())
        ShellOpen(address);
}
