#pragma once

#include "store/Progress.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The window of a long import or export: the file, what is done so far, a bar and "Annulla".
// It comes up only once the work has taken half a second; shorter work shows the wait cursor
// alone. While it is up it is modal: the user's input reaches no other window, and between
// two steps of the work the window is painted and its "Annulla" heard.
class TfrmAvanzamento : public QDialog
{
    Q_OBJECT

public:
    // Words the counts of a step for the line above the bar.
    using Describe = std::function<QString(qint64 done, qint64 total, qint64 contacts)>;

    // `place` is the first line: the file or folder read or written ("File: …").
    TfrmAvanzamento(QWidget *owner, const QString &caption, const QString &place);
    ~TfrmAvanzamento() override;

    // The hook of one step's Progress, its counts worded by `describe`; it asks to stop once
    // "Annulla" has been pressed. One window may serve several steps in turn.
    Progress::Hook hook(Describe describe);
    bool cancelled() const { return m_cancelled; }

    // Texts for the counts: "12.345", "12,3 MB".
    static QString number(qint64 n);
    static QString megabytes(qint64 bytes);

    // Test seams: how long the work runs before the window comes up (half a second), and a
    // function called at every report of the work, after the window has handled it.
    static void setShowAfter(int ms);
    static void setOnReport(std::function<void(TfrmAvanzamento &)> onReport);

protected:
    // Escape and the close box stop the work; the window goes when the work has ended.
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool report(qint64 done, qint64 total, qint64 contacts, const Describe &describe);
    void cancel();

    QElapsedTimer m_running;
    QElapsedTimer m_sinceUpdate;
    bool m_cancelled = false;
    bool m_busyCursor = false;

    QLabel *lfile;
    QLabel *lstato;
    QProgressBar *barra;
    QPushButton *BitBtn1;
};
