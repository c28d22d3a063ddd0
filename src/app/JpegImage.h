#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes JPEG bytes with libjpeg. A damaged picture gives a null image and the
// decoder's message in *error instead of ending the program.
QImage decodeJpeg(const QByteArray &jpeg, QString *error = nullptr);
// Reads a picture from the program's resources (":/splash.jpg", ":/logo.jpg").
QImage loadJpegResource(const QString &path, QString *error = nullptr);
