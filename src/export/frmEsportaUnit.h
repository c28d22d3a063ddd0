#pragma once

#include "export/ExportFormats.h"

#include <QByteArrayList>
#include <QDialog>

class ContactListModel;
class ContactListView;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The export window: the user picks the target file and the scope (the whole address book
// or the contacts selected in the main window); the target's extension picks the format.
// The export never changes the address book.
class TfrmEsporta : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmEsporta(QWidget *parent = nullptr);
    ~TfrmEsporta() override;

    // Copies the main window's columns and its selected rows, numbered by their position
    // in the main window's list.
    void LoadSelected();

    void r1Click();
    void r2Click();
    void Button1Click(); // Sfoglia ...
    void BitBtn1Click(); // Esporta

    // The exporters; each reads exportLines. Each shows the progress window when it takes
    // long, and throws Cancelled when the user stops it there.
    // Cards 1.vcf, 2.vcf, ... in `folder` (ending with a separator); true when the last
    // contact's card exists afterwards.
    bool ExportVCard(const QString &folder);
    // The page; reports its own failure. True when the page was written.
    bool ExportHtml(const QString &fileName);
    // True when the file exists after writing.
    bool ExportLdif(const QString &fileName);
    // Every contact in one vCard 3.0 file for phones; returns how many the file holds.
    qsizetype ExportPhoneBook(const QString &fileName);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildWindow();
    // The card export of BitBtn1Click: the folder beside `path`, the cards, the questions.
    void exportCards(const QString &path);

    QByteArrayList exportLines;
    bool m_loaded = false;
    // The type chosen in the save dialog, which decides over the name's extension; Unknown
    // when the dialog reported none.
    ExportFormats::Format m_chosen = ExportFormats::Format::Unknown;

    QLineEdit *txtfile;
    QPushButton *Button1;
    QRadioButton *r1;
    QRadioButton *r2;
    QLabel *Label1;
    QLabel *lcontatti;
    ContactListView *lista;
    ContactListModel *m_model;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
};
