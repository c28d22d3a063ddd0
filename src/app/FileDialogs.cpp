#include "FileDialogs.h"

#include "Desktop.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QQueue>
#include <QTreeView>
#include <QSize>

namespace FileDialogs {
namespace {

// Qt's own size shows the names, sizes and dates cut short.
constexpr QSize kDialogSize(720, 480);

void makeRoomy(QFileDialog &dialog)
{
    dialog.resize(kDialogSize);
    Desktop::fitToScreen(&dialog, Desktop::Fit::Resizable);
    // The detail view of Qt's own dialog (named so in its form); name, size, type, date.
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"))) {
        const int widths[] = {250, 90, 120, 140};
        for (int c = 0; c < int(std::size(widths)); ++c)
            details->header()->resizeSection(c, widths[c]);
    }
}

struct Seam
{
    QQueue<QStringList> openAnswers;
    QQueue<std::pair<QString, QString>> saveAnswers; // file, chosen filter
    Request last;
};
Seam &seam()
{
    static Seam s;
    return s;
}
} // namespace

QStringList getOpenFileNames(QWidget *parent, const QStringList &filters)
{
    Seam &s = seam();
    s.last = {filters, {}};
    if (!s.openAnswers.isEmpty())
        return s.openAnswers.dequeue();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(filters);
    makeRoomy(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString getSaveFileName(QWidget *parent, const QStringList &filters, const QString &defaultSuffix,
                        QString *selectedFilter)
{
    Seam &s = seam();
    s.last = {filters, defaultSuffix};
    if (!s.saveAnswers.isEmpty()) {
        const auto [file, filter] = s.saveAnswers.dequeue();
        if (selectedFilter)
            *selectedFilter = filter;
        return file;
    }
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(defaultSuffix);
    makeRoomy(dialog);
    // A name typed without an extension takes the one of the chosen filter, so that picking
    // "business card" and typing "amici" gives a card export, not a web page.
    bool chosen = false;
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &chosen, defaultSuffix](const QString &filter) {
        chosen = true;
        const qsizetype star = filter.indexOf(QStringLiteral("*."));
        if (star < 0) {
            dialog.setDefaultSuffix(defaultSuffix);
            return;
        }
        qsizetype end = star + 2;
        while (end < filter.size() && filter[end].isLetterOrNumber())
            ++end;
        dialog.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    // A filter shown at the start is no choice of the user's: the name's extension then decides.
    if (selectedFilter)
        *selectedFilter = chosen ? dialog.selectedNameFilter() : QString();
    return dialog.selectedFiles().constFirst();
}

void setNextOpenFileNames(const QStringList &files)
{
    seam().openAnswers.enqueue(files);
}

void setNextSaveFileName(const QString &file, const QString &selectedFilter)
{
    seam().saveAnswers.enqueue({file, selectedFilter});
}

Request lastRequest()
{
    return seam().last;
}

} // namespace FileDialogs
