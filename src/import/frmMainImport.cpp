#include "app/FileDialogs.h"
#include "app/Messages.h"
#include "app/WaitCursor.h"
#include "app/frmAvanzamentoUnit.h"
#include "app/frmMainUnit.h"
#include "import/Importers.h"
#include "import/frmImportaUnit.h"
#include "store/AddressBook.h"
#include "store/DateText.h"
#include "store/Progress.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QScopeGuard>

#include <exception>
#include <utility>

namespace {

// How many values of the file read last had letters changed into the nearest ones
// Windows-1252 holds: its selection window tells the user.
int approximatedValues = 0;

// Reads a chosen file and makes its candidates with `candidates(text, progress)`, under the
// wait cursor and, when that takes long, in the progress window. Throws Cancelled when the
// user stops it.
template<typename Fn>
auto readCandidates(QWidget *owner, const QString &fileName, Fn candidates)
{
    WaitCursor wait;
    TfrmAvanzamento window(owner, QStringLiteral("Importazione contatti"),
                           QStringLiteral("File: ") + QDir::toNativeSeparators(fileName));
    // Reports every megabyte: a few hundred contacts.
    constexpr qint64 every = 1 << 20;
    QByteArray text;
    {
        Progress reading(QFileInfo(fileName).size(), every, window.hook([](qint64 done, qint64 total, qint64) {
            return QStringLiteral("Lettura del file: %1 di %2")
                .arg(TfrmAvanzamento::megabytes(done), TfrmAvanzamento::megabytes(total));
        }));
        text = AddressBook::readFile(fileName, &reading);
    }
    Progress progress(text.size(), every, window.hook([](qint64 done, qint64 total, qint64 contacts) {
        return QStringLiteral("Contatti letti: %1 (%2 di %3)")
            .arg(TfrmAvanzamento::number(contacts), TfrmAvanzamento::megabytes(done), TfrmAvanzamento::megabytes(total));
    }));
    return candidates(text, &progress);
}

} // namespace

// The import command: each chosen file in turn through its importer and its own selection
// window; the list is reloaded once, after the last file. An importer that cannot read its
// file ends the whole command; the error reaches the standard error box.
void TfrmMain::Button9Click()
{
    // Qt separates the patterns of a filter by blanks.
    const QStringList filters = {
        QStringLiteral("Biglietto da visita elettronico (*.vcard *.vcf)"),
        QStringLiteral("Contatti Rubrino 1.0 (contact.csv)"),
        QStringLiteral("Rubrica di Mozilla Thunderbird (*.ldif)"),
        QStringLiteral("Tutti i formati supportati (*.vcf *.vcard *.ldif contact.csv)"),
    };
    const QStringList files = FileDialogs::getOpenFileNames(this, filters);
    if (files.isEmpty())
        return;

    const int n = int(files.size());
    // A delete rebuilds the file from the list: once a window may have added contacts, the
    // list is reloaded on every way out, an error that ends the command included, or the
    // next delete would take those contacts away again.
    bool mayHaveWritten = false;
    qsizetype imported = 0; // contacts added at the end of the book, by all files
    const int exceptionsBefore = std::uncaught_exceptions();
    auto reloadOnError = qScopeGuard([&] {
        if (mayHaveWritten && std::uncaught_exceptions() > exceptionsBefore)
            Messages::guarded([this] { Reload(); });
    });
    for (int i = 1; i <= n; ++i) {
        const QString &path = files[i - 1];
        const Importers::Kind kind = Importers::kindOf(path);
        if (kind == Importers::Kind::Unknown) {
            ShowError(QStringLiteral("Formato non riconosciuto: ") + QFileInfo(path).fileName());
            continue;
        }
        QApplication::processEvents();
        repaint();
        try {
            if (kind == Importers::Kind::PreviousVersion)
                ImportOLDRBN(path);
            else if (kind == Importers::Kind::Ldif)
                ImportLdif(path);
            else
                ImportVCard(path);
        } catch (const Cancelled &) {
            // "Annulla" in the progress window ends the command: no selection window for
            // this file, no further file.
            reloadOnError.dismiss();
            if (mayHaveWritten)
                Reload();
            if (imported > 0)
                chooseLines(int(contactLines.size() - imported + 1), int(contactLines.size()));
            return;
        }
        QApplication::processEvents();
        repaint();

        TfrmImporta window(this);
        window.setChangedValues(std::exchange(approximatedValues, 0));
        window.gb->setTitle(QStringLiteral("Elenco contatti importati: [File %1/%2]").arg(i).arg(n));
        window.lfile->setText(QStringLiteral("File: ") + QDir::toNativeSeparators(path));
        window.lfile->setToolTip(QDir::toNativeSeparators(path));
        // "Importa" closes the window with OK, whether or not it wrote.
        if (window.exec() == QDialog::Accepted)
            mayHaveWritten = true;
        imported += window.imported();
    }
    reloadOnError.dismiss();
    Reload();
    // Every window added its contacts at the end of the book, one file after the other.
    if (imported > 0)
        chooseLines(int(contactLines.size() - imported + 1), int(contactLines.size()));
}

void TfrmMain::ImportLdif(const QString &fileName)
{
    importLines.clear();
    approximatedValues = 0;
    const QByteArray date = DateText::now();
    importLines = readCandidates(this, fileName, [&](const QByteArray &text, Progress *progress) {
        return Importers::ldifCandidates(text, date, progress, &approximatedValues);
    });
}

void TfrmMain::ImportVCard(const QString &fileName)
{
    importLines.clear();
    approximatedValues = 0;
    const QByteArray date = DateText::now();
    Importers::VCardResult result = readCandidates(this, fileName, [&](const QByteArray &text, Progress *progress) {
        return Importers::vcardCandidates(text, *vcard, date, progress);
    });
    importLines = std::move(result.candidates);
    approximatedValues = result.approximated;
    // One message for the file, however many of its cards lack a name.
    if (result.refused > 0)
        ShowError(QStringLiteral("File VCARD errato (nessun nome/cognome specificato): ") + QFileInfo(fileName).fileName());
}

void TfrmMain::ImportOLDRBN(const QString &fileName)
{
    importLines.clear();
    approximatedValues = 0;
    Importers::PreviousVersionResult result = readCandidates(this, fileName, [](const QByteArray &text, Progress *progress) {
        return Importers::previousVersionCandidates(text, progress);
    });
    importLines = std::move(result.candidates);
    if (result.skipped > 0)
        ShowError(QStringLiteral("Alcune righe non sono state importate: ") + QString::number(result.skipped));
}
