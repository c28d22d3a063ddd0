#include "frmAvanzamentoUnit.h"

#include "Desktop.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

int g_showAfter = 500;
std::function<void(TfrmAvanzamento &)> g_onReport;

// Between two repaints of the window and two looks at the user's clicks: often enough for a
// bar that moves smoothly and an "Annulla" that answers at once, seldom enough to cost
// nothing next to the work.
constexpr qint64 kUpdateMs = 40;

constexpr int kBarSteps = 1000;
constexpr int kTextWidth = 420;

const QLocale &italian()
{
    static const QLocale locale(QLocale::Italian, QLocale::Italy);
    return locale;
}

} // namespace

TfrmAvanzamento::TfrmAvanzamento(QWidget *owner, const QString &caption, const QString &place)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAvanzamento"));
    setWindowTitle(caption);
    // Shown with show(), not exec(): the work goes on in the caller between two reports.
    setWindowModality(Qt::ApplicationModal);

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(6);

    lfile = new QLabel(this);
    lfile->setObjectName(QStringLiteral("lfile"));
    lfile->setTextFormat(Qt::PlainText);
    // A long path must not widen the window; the whole of it is the label's hint.
    lfile->setText(fontMetrics().elidedText(place, Qt::ElideMiddle, kTextWidth));
    lfile->setToolTip(place);
    outer->addWidget(lfile);

    lstato = new QLabel(this);
    lstato->setObjectName(QStringLiteral("lstato"));
    lstato->setTextFormat(Qt::PlainText);
    lstato->setMinimumWidth(kTextWidth);
    lstato->setMinimumHeight(lstato->fontMetrics().height());
    outer->addWidget(lstato);

    barra = new QProgressBar(this);
    barra->setObjectName(QStringLiteral("barra"));
    barra->setRange(0, kBarSteps);
    barra->setValue(0);
    outer->addWidget(barra);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annulla"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setMinimumWidth(100);
    buttons->addWidget(BitBtn1);
    outer->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmAvanzamento::cancel);
    BitBtn1->setFocus();

    Desktop::fitToScreen(this, Desktop::Fit::Fixed);
    m_running.start();
}

TfrmAvanzamento::~TfrmAvanzamento()
{
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

Progress::Hook TfrmAvanzamento::hook(Describe describe)
{
    return [this, describe = std::move(describe)](qint64 done, qint64 total, qint64 contacts) {
        return report(done, total, contacts, describe);
    };
}

QString TfrmAvanzamento::number(qint64 n)
{
    return italian().toString(n);
}

QString TfrmAvanzamento::megabytes(qint64 bytes)
{
    return italian().toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

void TfrmAvanzamento::setShowAfter(int ms)
{
    g_showAfter = ms;
}

void TfrmAvanzamento::setOnReport(std::function<void(TfrmAvanzamento &)> onReport)
{
    g_onReport = std::move(onReport);
}

bool TfrmAvanzamento::report(qint64 done, qint64 total, qint64 contacts, const Describe &describe)
{
    const bool shown = isVisible();
    // Until the window is up, nothing is handed to the event loop: the user's clicks wait,
    // and reach no window while the work may change what they act on.
    if (shown ? m_sinceUpdate.elapsed() >= kUpdateMs : m_running.elapsed() >= g_showAfter) {
        lstato->setText(describe(done, total, contacts));
        barra->setValue(total > 0 ? int(std::clamp<qint64>(done * kBarSteps / total, 0, kBarSteps)) : 0);
        if (!shown) {
            show();
            activateWindow();
            // The arrow with the hourglass: busy, yet "Annulla" can be clicked.
            QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
            m_busyCursor = true;
        }
        QApplication::processEvents();
        m_sinceUpdate.start();
    }
    if (g_onReport)
        g_onReport(*this);
    return !m_cancelled;
}

void TfrmAvanzamento::cancel()
{
    m_cancelled = true;
    // The work stops at its next report, a moment later.
    BitBtn1->setEnabled(false);
}

void TfrmAvanzamento::reject()
{
    cancel();
}

void TfrmAvanzamento::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cancel();
}
