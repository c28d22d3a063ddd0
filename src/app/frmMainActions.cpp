#include "frmMainUnit.h"

#include "CardLabel.h"
#include "ContactListView.h"
#include "Messages.h"
#include "ShellOpen.h"
#include "WaitCursor.h"
#include "editor/ContactEditing.h"
#include "editor/frmAggiungiUnit.h"
#include "export/ExportFormats.h"
#include "store/AddressBook.h"
#include "store/ContactListModel.h"
#include "store/TextCodec.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>

// Add, modify, delete, help and the card's links.

void TfrmMain::Button1Click()
{
    QByteArray written;
    {
        TfrmAggiungi editor(this);
        editor.exec();
        written = editor.writtenLine();
    }
    Reload();
    // A new contact goes at the end of the book.
    chooseWritten(int(contactLines.size()), written);
}

void TfrmMain::Button2Click()
{
    if (selectedNumber.isEmpty())
        return;
    QByteArray written;
    int lineNumber = 0;
    {
        TfrmAggiungi editor(this);
        editor.setWindowTitle(QStringLiteral("Modifica contatto"));
        // The contact on the card, by its line as the list shows it: when the file no longer
        // holds it the editor has said so and is not shown; the list is out of date then,
        // and the reload below brings it up to date.
        if (editor.Inizializza(selectedNumber, m_model->line(selectedIndex)))
            editor.exec();
        written = editor.writtenLine();
        lineNumber = editor.lineNumber();
    }
    Reload();
    chooseWritten(lineNumber, written);
}

void TfrmMain::chooseWritten(int lineNumber, const QByteArray &written)
{
    if (written.isNull())
        return;
    // By its bytes: another program may have moved it meanwhile.
    const int found = ContactEditing::findContact(contactLines, lineNumber, written);
    if (found > 0)
        chooseLines(found, found);
}

void TfrmMain::CopiaClick()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    WaitCursor wait;
    QByteArrayList lines;
    lines.reserve(rows.size());
    for (int row : rows)
        lines.append(m_model->line(row));
    auto *data = new QMimeData;
    data->setText(ExportFormats::plainText(lines));
    // The cards as the phone-book export writes them, for other address books.
    data->setData(QStringLiteral("text/vcard"), ExportFormats::phoneBook(lines));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TfrmMain::showListMenu(const QPoint &at)
{
    QMenu menu(this);
    const bool chosen = !selectedNumber.isEmpty();
    QAction *modify = menu.addAction(QStringLiteral("Modifica ..."));
    QAction *remove = menu.addAction(QStringLiteral("Elimina ..."));
    menu.addSeparator();
    QAction *copy = menu.addAction(QStringLiteral("Copia"));
    copy->setShortcut(QKeySequence::Copy);
    modify->setEnabled(chosen);
    remove->setEnabled(chosen);
    copy->setEnabled(lista->selectedRowCount() > 0);
    QAction *picked = menu.exec(lista->viewport()->mapToGlobal(at));
    if (picked == modify)
        Button2Click();
    else if (picked == remove)
        Button3Click();
    else if (picked == copy)
        CopiaClick();
}

void TfrmMain::Button3Click()
{
    if (selectedNumber.isEmpty())
        return;
    if (!Messages::destructiveQuestion(QStringLiteral("Cancella Contatto"),
                                       QStringLiteral("Sei sicuro di voler eliminare per sempre i contatti dalla rubrica?")))
        return;

    // Each selected row carries its contact's line number, found rows of a search included:
    // exactly those lines go, whatever their text looks like.
    WaitCursor wait;
    std::vector<bool> gone(size_t(contactLines.size()), false);
    QElapsedTimer sinceRepaint;
    sinceRepaint.start();
    for (int row : selectedRows()) {
        const int index = m_model->lineNumber(row) - 1;
        if (index >= 0 && size_t(index) < gone.size())
            gone[size_t(index)] = true;
        // A long delete keeps the window painted, without taking the user's input meanwhile.
        if (sinceRepaint.elapsed() >= 50) {
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceRepaint.restart();
        }
    }
    // The book is written again from the lines in memory, so the file must still hold
    // exactly them: lines another window or program added meanwhile would be lost. When it
    // does not, nothing is written and the list shows the file as it is now. A failed write
    // throws: the file and the list stay as they were.
    try {
        BookEdit edit;
        edit.dropped = &gone;
        contactLines.save(AddressBook::contactFile(), edit);
    } catch (const BookChanged &changed) {
        Reload();
        ShowError(changed.message());
        return;
    }
    Reload();
}

void TfrmMain::BitBtn2Click()
{
    // The help lies beside the program, wherever the program was started from.
    ShellOpen(QDir::toNativeSeparators(AddressBook::programFolder() + QStringLiteral("guida.htm")));
}

void TfrmMain::cardLinkClick(QLabel *link)
{
    // "-" is an empty field, and the whole card of no contact. The link hands over the
    // value as stored, whatever the card shows of it.
    const QString text = TextCodec::fromAnsi(static_cast<CardLabel *>(link)->storedValue());
    if (text == QStringLiteral("-"))
        return;
    const QString name = link->objectName();
    if (name == QStringLiteral("lemail")) {
        ShellOpen(Shell::mailto(text));
    } else if (name == QStringLiteral("lcellprivato") || name == QStringLiteral("lcelllavoro")
               || name == QStringLiteral("ltelcasa") || name == QStringLiteral("ltelufficio")) {
        ShellOpen(QStringLiteral("callto://") + text);
    } else if (name == QStringLiteral("lsito") || name == QStringLiteral("listantmessenger")) {
        // The messenger identity has no address of its own: it leads to the contact's site.
        const QString site = TextCodec::fromAnsi(m_cardLabels[TContatto::sito]->storedValue());
        if (site != QStringLiteral("-"))
            ShellOpenWeb(site);
    }
}
