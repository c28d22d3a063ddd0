#pragma once

#include <QDialog>

class ContactListModel;
class ContactListView;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

// The selection window of the import: the candidates of one file, all selected at first;
// "Importa" appends the selected ones to the address book. It lists the main window's
// importLines, so it is created after the importer has filled them.
class TfrmImporta : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmImporta(QWidget *owner = nullptr);

    QGroupBox *gb;
    QLabel *lfile;
    ContactListView *listim;
    ContactListModel *listModel() const { return m_model; }

    void FormCreate();
    void LoadList();
    void listimSelectItem();
    void SpeedButton1Click(); // Seleziona tutti
    void SpeedButton2Click(); // Deseleziona tutti
    void BitBtn1Click();      // Importa
    void SpeedButton3Click(); // Deseleziona doppioni
    // How many contacts "Importa" added at the end of the book.
    qsizetype imported() const { return m_imported; }

    // The selected rows, in display order.
    QList<int> selectedRows() const;

    // Says how many values of the file had letters changed into the nearest ones the address
    // book can hold; nothing when none had.
    void setChangedValues(int count);

private:
    void buildWindow();
    // Fills the column "Già in rubrica": the "N." of the book's contact that each candidate
    // matches, or "nel file" when it matches an earlier candidate of the same file.
    void markDuplicates(const QByteArrayList &lines);

    ContactListModel *m_model;
    qsizetype m_imported = 0;
    QLabel *lcontatti;
    QLabel *lsel;
    QLabel *lcambiati;
};
