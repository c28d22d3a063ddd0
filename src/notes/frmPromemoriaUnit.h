#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;

// The reminder note: one free text kept in data/promemoria.txt, read when the window is
// created and written, if at all, when the window closes: "Chiudi", the close box and Esc
// all ask before a changed note is lost.
class TfrmPromemoria : public QDialog
{
    Q_OBJECT

public:
    // Loads the note; throws AppError when the file cannot be read.
    explicit TfrmPromemoria(QWidget *owner = nullptr);

    void Button1Click(); // Chiudi
    void CheckModified();
    bool isModified() const { return modified; }

    // The note in the editor, one entry per line; an empty editor has no lines.
    QStringList editorLines() const;

    // The close box and Esc: a changed note is asked about as on "Chiudi"; an unchanged
    // one closes without writing anything.
    void reject() override;

private:
    void FormCreate();
    // Asks about a changed note and writes it on Yes; false when there was nothing to ask.
    bool saveChangedNote();
    void memContentsChange(int position, int charsRemoved, int charsAdded);
    void memChange();

    // The note as loaded into the editor, from the file's third line on.
    QStringList savedLines;
    bool modified = false;

    QGroupBox *gbox;
    QPlainTextEdit *mem;
    QCheckBox *cbman;
    QPushButton *Button1;

    // The part of the text added since the last check for characters the file cannot hold.
    int m_addedFrom = -1;
    int m_addedTo = -1;
    bool m_cleaning = false;
};
