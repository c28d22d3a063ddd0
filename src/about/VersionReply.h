#pragma once

#include <QByteArrayView>
#include <QString>

// The update server's version file: major version, ".", minor version, "|", download address,
// for example "1.2|http://www.rubrino.example/scarica/".
struct VersionReply
{
    int major = 0;
    int minor = 0;
    // The text after the first "|" up to the end of its line, unchanged: one web address.
    QString address;

    // Throws AppError when the reply does not follow the format (no ".", no "|" after it,
    // a version part that is not a whole number, such as an error page, an address that is
    // not one web address, or anything but line ends after the first line).
    static VersionReply parse(QByteArrayView reply);

    // Numeric comparison: 1.10 is newer than 1.1, and 1.01 is the same as 1.1.
    bool isNewerThan(int ownMajor, int ownMinor) const;

    // Whether the address is one web address the browser may be asked to open: http or https
    // with a host, no blanks and no control or format characters. It comes from the network
    // over plain HTTP, so anything else (a local path, a program, a second line) is refused.
    static bool isWebAddress(QStringView address);
};
