#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The open-file and save-file dialogs. Tests preset the names a person would have chosen.
namespace FileDialogs {

// Several files may be chosen; an empty list when the dialog was cancelled.
QStringList getOpenFileNames(QWidget *parent, const QStringList &filters);
// Asks before replacing an existing file; an empty text when the dialog was cancelled.
// `selectedFilter`, when given, receives the filter the user chose, or an empty text when
// the user left the first one as it was shown.
QString getSaveFileName(QWidget *parent, const QStringList &filters, const QString &defaultSuffix,
                        QString *selectedFilter = nullptr);

// Test seam: while answers are queued no dialog is shown; each call takes the next answer
// (an empty answer is a cancelled dialog) and records its filters and default suffix.
void setNextOpenFileNames(const QStringList &files);
void setNextSaveFileName(const QString &file, const QString &selectedFilter = QString());
struct Request
{
    QStringList filters;
    QString defaultSuffix;
};
Request lastRequest();

} // namespace FileDialogs
