#pragma once

#include "store/BookVersions.h"

#include <QDialog>

#include <memory>

class QPushButton;
class QTreeWidget;

// The earlier versions of the address book, newest first, each with its date and time, its
// contacts and how it differs from the book now. "Ripristina" puts the chosen one back (the
// book now becomes a version itself); "Apri cartella" shows the folder that holds them.
class TfrmVersioni : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmVersioni(QWidget *owner = nullptr);
    ~TfrmVersioni() override;

    QTreeWidget *listver;

    void LoadList();
    // Counts and compares the versions not yet done. The window does this one version at a
    // time once it is up, so that a large book shows its list at once and fills it in.
    void fillDifferences();
    void Button1Click(); // Ripristina
    void Button2Click(); // Apri cartella

    // Whether a version was put back: the main window then reloads its list.
    bool restored() const { return m_restored; }

private:
    void buildWindow();
    void fillNext();
    void fillRow(int row);

    QList<BookVersions::Version> m_versions;
    std::unique_ptr<BookVersions::Comparison> m_book;
    int m_filled = 0;
    bool m_fillScheduled = false;
    bool m_restored = false;
};
