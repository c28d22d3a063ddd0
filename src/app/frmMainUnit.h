#pragma once

#include "store/BookLines.h"

#include <QByteArrayList>
#include <QMainWindow>
#include <QPointer>

class CardLabel;
class ContactListModel;
class ContactListView;
class QComboBox;
class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TCSVStringInfo;
class TfrmSplash;
class TmsVCard;

// The main window: the address book as a list, the card of the chosen contact, the search
// and the buttons that open every other window. There is one, for the program's lifetime;
// the other windows reach its members through instance().
class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    static TfrmMain *instance();

    // The address-book file in memory, in file order, exactly as read: one block for the
    // whole book, shared with the list's model; a reload replaces it as a whole.
    BookLines contactLines;
    // For each line of contactLines, the value of the field chosen for search, as views.
    SearchValues searchValues;
    // Candidate lines of the last file read by an importer.
    QByteArrayList importLines;
    // The row of the most recent selection change and its "N." caption (the line number);
    // an empty selectedNumber means no row was chosen since the list was last rebuilt.
    int selectedIndex = 0;
    QString selectedNumber;

    TCSVStringInfo *csv;
    TmsVCard *vcard;

    ContactListView *lista;
    ContactListModel *listModel() const { return m_model; }

    void FormShow();
    void Reload();
    void ClearContact();
    void LoadLis(int fieldIndex);

    // The list's events.
    void listaSelectItem(int row);
    void listaMouseDown();
    void listaDblClick();
    // A click on a column header: "N." shows the file's order, another column sorts the rows
    // by its values, and a second click on the same column reverses them.
    void listaColumnClick(int column);
    // Shows the rows in the order of `column` (below 1: the file's order). Only the view
    // changes: each row keeps its line number, and the chosen contacts stay chosen.
    void sortList(int column, Qt::SortOrder order);

    // Buttons and card links.
    void Button1Click(); // Aggiungi ...
    void Button2Click(); // Modifica ...
    void Button3Click(); // Elimina ...
    void Button4Click(); // Cerca ...
    void Button5Click(); // Esporta ...
    void Button6Click(); // Promemoria ...
    void Button7Click(); // Informazioni su ...
    void Button9Click(); // Importa ...
    void Button10Click(); // Doppioni ...
    void BitBtn2Click(); // &Guida
    void BitBtn3Click(); // &Ricarica lista
    void Button11Click(); // Versioni ...
    // Ctrl+Z: puts back the newest version of the book, when the book still holds what this
    // program last wrote.
    void undoLastChange();
    // A click on a link of the card (e-mail, telephones, web site, messenger).
    void cardLinkClick(QLabel *link);

    // Importers: each empties importLines and fills it from the named file.
    void ImportLdif(const QString &fileName);
    void ImportVCard(const QString &fileName);
    void ImportOLDRBN(const QString &fileName);

    // Chooses the contacts on lines `first` to `last` (1-based) of the book, wherever the
    // list's order shows them: the first becomes the current row, on the card and in view.
    void chooseLines(int first, int last);
    // "Copia": the chosen contacts to the clipboard, as text and as vCard 3.0.
    void CopiaClick();

    // Rows of lista that are selected, in list order.
    QList<int> selectedRows() const;
    // Opens the reminder window at start-up when the note asks for it.
    void openReminderAtStartup();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    // The button of the versions after `after` in `row`, Ctrl+Z, and the question asked when
    // a save cannot keep the book it replaces.
    void addVersionControls(QHBoxLayout *row, QWidget *after);
    void updateSelectedCount();
    void showListMenu(const QPoint &at);
    // After an add or a modify: chooses the contact the editor wrote, found by its bytes
    // near line `lineNumber`.
    void chooseWritten(int lineNumber, const QByteArray &written);
    void onSelectionChanged(const class QItemSelection &selected, const class QItemSelection &deselected);

    ContactListModel *m_model;
    QPointer<TfrmSplash> splashWindow;
    bool m_shown = false;
    bool m_restoringSelection = false; // the selection is being put back after a sort

    QComboBox *cbcerca;
    QLineEdit *txtsearch;
    QPushButton *Button4;
    QGroupBox *gb;
    QLabel *lcont;
    QLabel *lsear;
    QLabel *lsel;
    QList<CardLabel *> m_cardLabels; // lnome .. lsito, ldata in field order (note excluded)
    QPlainTextEdit *mnote;
};
