#include "frmSplashUnit.h"

#include "JpegImage.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

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
