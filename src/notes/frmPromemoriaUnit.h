#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;

// The reminder note: one free text kept in data/promemoria.txt, read when the window is
// created and written, if at all, when the user presses "Chiudi". The close box saves nothing.
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

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
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
