#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The contact editor: seventeen boxes for fields 1 to 17 of one contact. As it comes it
// adds a contact; after Inizializza it changes the contact on the given line. It writes
// the address-book file itself and keeps nothing between showings.
class TfrmAggiungi : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAggiungi(QWidget *parent = nullptr);

    // Modify mode for the contact on line `line` (1-based, as decimal text): reads the file
    // afresh and fills the boxes. `shown`, when given, is the line as the list showed it:
    // the contact is then the one that holds exactly those bytes, at that number or, when
    // another program moved it, at the one line that holds them. Returns false, after telling
    // the user why, when that contact is gone or the line is no contact; the window is then
    // not to be shown. A file that cannot be read throws AppError.
    bool Inizializza(const QString &line, const QByteArray &shown = QByteArray());

    // "Aggiungi" / "Modifica": checks the mandatory fields, writes the file and closes.
    void buttClick();

    // The change handlers: each keeps its own box free of what a field cannot hold.
    void txtnomeChange();
    void txtcognomeChange();
    void txtposChange();
    void txtorgChange();
    void txtindirizzoChange();
    void txtcittaChange();
    void txtcapChange();
    void txtnazioneChange();
    void txtcellprivatoChange();
    void txtlavoroChange();
    void txttelcasaChange();
    void txtteluffChange();
    void txtfaxChange();
    void txtmessengerChange();
    void txtmailChange();
    void txtwebChange();
    void txtnoteChange();

    // Double-clicks: call the number, write a mail, visit the site.
    void txtcellprivatoDblClick();
    void txtlavoroDblClick();
    void txttelcasaDblClick();
    void txtteluffDblClick();
    void txtmailDblClick();
    void txtwebDblClick();

    int lineNumber() const { return numriga; }
    // The line "Aggiungi" / "Modifica" wrote; null while nothing was written.
    const QByteArray &writtenLine() const { return m_written; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void boxChange(QLineEdit *box);
    void call(QLineEdit *box);

    int numriga = 0;
    QByteArray m_original; // the contact's line as it was loaded: a modify replaces only it
    QByteArray m_written;

    // The boxes in tab order, which is also the order of fields 1 to 17.
    QList<QLineEdit *> m_boxes;
    QLineEdit *txtnome = nullptr;
    QLineEdit *txtcognome = nullptr;
    QLineEdit *txtpos = nullptr;
    QLineEdit *txtorg = nullptr;
    QLineEdit *txtindirizzo = nullptr;
    QLineEdit *txtcitta = nullptr;
    QLineEdit *txtcap = nullptr;
    QLineEdit *txtnazione = nullptr;
    QLineEdit *txtcellprivato = nullptr;
    QLineEdit *txtlavoro = nullptr;
    QLineEdit *txttelcasa = nullptr;
    QLineEdit *txtteluff = nullptr;
    QLineEdit *txtfax = nullptr;
    QLineEdit *txtmessenger = nullptr;
    QLineEdit *txtmail = nullptr;
    QLineEdit *txtweb = nullptr;
    QLineEdit *txtnote = nullptr;
    QPushButton *butt = nullptr;
    QPushButton *BitBtn2 = nullptr;
};
