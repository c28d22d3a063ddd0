#pragma once

#include "store/BookLines.h"
#include "store/Duplicates.h"

#include <QByteArrayList>
#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QTableWidget;
class QTreeView;
class DuplicateGroupsModel;

// The window of "Doppioni ...": the contacts of the main window's book that look like the
// same person, group after group (the largest first), each contact with why it matched.
// "Unisci ..." makes one contact of the chosen group, field by field as the user chooses;
// "Elimina ..." removes the contacts ticked in it. Every change is written at once and the
// main list reloaded; the groups are then found again.
class TfrmDoppioni : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmDoppioni(QWidget *owner = nullptr);
    ~TfrmDoppioni() override;

    // Groups the main window's book, in the progress window when that takes long. Throws
    // Cancelled when the user stops it.
    void FormCreate();

    QLabel *lstato;
    QTreeView *listdoppi;
    QPushButton *Button1; // Unisci ...
    QPushButton *Button2; // Elimina ...

    void Button1Click();
    void Button2Click();

    // The group of the chosen row, -1 when none.
    int chosenGroup() const;
    void chooseGroup(int group);
    // Ticks or unticks a contact of a group (its position in the group).
    void setTicked(int group, int position, bool ticked);
    qsizetype groupCount() const;
    // The line number of the contact made by the last merge, 0 when none; whether the book
    // was changed at all.
    int mergedLine() const { return m_mergedLine; }
    bool changedBook() const { return m_changed; }

private:
    void buildWindow();
    void regroup();
    // The main list reloaded after a change, or after a change was refused; the groups follow.
    void reloadAndRegroup();
    // One guarded save of the book; false, with the list reloaded and the reason shown, when
    // another program changed the book meanwhile.
    bool saveEdit(const BookEdit &edit);
    QList<quint32> chosenMembers() const;

    BookLines m_book;
    DuplicateGroupsModel *m_model = nullptr;
    int m_mergedLine = 0;
    bool m_changed = false;
};

// The side-by-side view of "Unisci ...": a row for each field, a column for each contact of
// the group and one for the result. Where the contacts agree, or one alone has a value, the
// value is taken; where they differ the user ticks the one to keep, the most recent contact's
// (by its date) ticked at first.
class TfrmUnisci : public QDialog
{
    Q_OBJECT

public:
    // `lines` are the contacts' lines, `numbers` their "N.".
    TfrmUnisci(QWidget *owner, const QByteArrayList &lines, const QList<int> &numbers);

    QTableWidget *listcampi;

    // The merged contact as a line of the book, stamped with `date`.
    QByteArray mergedLine(const QByteArray &date) const;
    // Ticks contact `column` (0-based, in the order given) for field `field`, where the field
    // has a choice.
    void choose(int field, int column);
    // The contact proposed where the values differ: the most recent.
    int proposed() const { return m_proposed; }

private:
    void fieldChanged(int row, int column);

    QList<QByteArrayList> m_fields; // each contact's 18 fields, as stored
    std::array<int, 18> m_chosen{};  // for each field the contact whose value is taken, -1 for "-"
    int m_proposed = 0;
    bool m_updating = false;
};
