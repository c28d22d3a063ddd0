#include "frmSplashUnit.h"

#include "JpegImage.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kLongestWaitMs = 200;
}

TfrmSplash::TfrmSplash(QWidget *owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    // A damaged picture leaves the splash blank; it never stops the start.
    const QImage picture = loadJpegResource(QStringLiteral(":/splash.jpg"));
    Image1->setFixedSize(250, 200);
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(picture));
    layout->addWidget(Image1);
    setFixedSize(250, 200);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmSplash::showPainted()
{
    show();
    if (m_painted)
        return;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(kLongestWaitMs);
    // Checked often: the loop ends right after the first paint has gone to the screen.
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [this, &loop] {
        if (m_painted)
            loop.quit();
    });
    check.start(5);
    // Nothing but the splash is on the screen yet; input waits until the main window shows.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TfrmSplash::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    m_painted = true;
}
