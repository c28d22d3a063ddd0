#include "ShellOpen.h"

#include "Messages.h"

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

#if !defined(Q_OS_WIN)
// The opener runs as a child of its own, watched without waiting: its exit status says
// whether anything could open the text. xdg-open ends with 2 for a missing file and with
// 3 or 4 when no program could open it; macOS's open ends with 1 for either.
void startOpener(const QString &program, const QString &text)
{
    // No parent: a still running opener (xdg-open waits for a browser it started itself)
    // must not be killed when a window closes or the program ends.
    auto *opener = new QProcess;
    opener->setProgram(program);
    opener->setArguments({text});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    const bool tellsMissingFile = program == QLatin1String("xdg-open");
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, text, tellsMissingFile](int code, QProcess::ExitStatus status) {
        opener->deleteLater();
        if (status == QProcess::NormalExit && code == 0)
            return;
        const bool missing = tellsMissingFile && status == QProcess::NormalExit && code == 2;
        ShowError(missing ? Shell::missingFileMessage(text) : Shell::noProgramMessage(text));
    });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, text](QProcess::ProcessError error) {
        // Not there at all, or not runnable: nothing on this system opens anything.
        if (error != QProcess::FailedToStart)
            return;
        opener->deleteLater();
        ShowError(Shell::noProgramMessage(text));
    });
    opener->start();
}
#endif
} // namespace

void Shell::setRecorder(std::function<void(const QString &)> r)
{
    recorder() = std::move(r);
}

QString Shell::noProgramMessage(const QString &text)
{
    return QStringLiteral("Impossibile aprire «%1»: nessun programma adatto è installato.").arg(text);
}

QString Shell::missingFileMessage(const QString &text)
{
    return QStringLiteral("Impossibile aprire «%1»: il file non esiste.").arg(text);
}

void ShellOpen(const QString &text)
{
    if (recorder()) {
        recorder()(text);
        return;
    }
#if defined(Q_OS_WIN)
    // The shell answers at once; a value of 32 or less is its refusal.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t *>(text.utf16()), L"", L"", SW_SHOW));
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
        ShowError(Shell::missingFileMessage(text));
    else if (result <= 32)
        ShowError(Shell::noProgramMessage(text));
#elif defined(Q_OS_MACOS)
    startOpener(QStringLiteral("open"), text);
#else
    startOpener(QStringLiteral("xdg-open"), text);
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
