#include "frmVersioniUnit.h"

#include "app/Desktop.h"
#include "app/Messages.h"
#include "app/ShellOpen.h"
#include "app/WaitCursor.h"
#include "store/AddressBook.h"
#include "store/DateText.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>


TfrmVersioni::TfrmVersioni(QWidget *owner) : QDialog(owner)
{
    buildWindow();
    Messages::guarded([this] { LoadList(); });
}

TfrmVersioni::~TfrmVersioni() = default;

void TfrmVersioni::buildWindow()
{
    setObjectName(QStringLiteral("frmVersioni"));
    setWindowTitle(QStringLiteral("Versioni della rubrica"));
    auto *outer = new QVBoxLayout(Desktop::content(this));

    auto *Label1 = new QLabel(QStringLiteral("Versioni precedenti della rubrica, dalla più recente. Ogni modifica "
                                             "conserva la rubrica che sostituisce: le ultime %1, meno se insieme "
                                             "occupano più di %2 volte la rubrica.")
                                  .arg(BookVersions::MaxKept)
                                  .arg(BookVersions::MaxSizeTimesBook),
                              this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    outer->addWidget(Label1);

    listver = new QTreeWidget(this);
    listver->setObjectName(QStringLiteral("listver"));
    listver->setColumnCount(3);
    listver->setHeaderLabels({QStringLiteral("Data e ora"), QStringLiteral("Contatti"),
                              QStringLiteral("Rispetto alla rubrica attuale")});
    listver->headerItem()->setToolTip(2, QStringLiteral("Contatti in più in questa versione (+), contatti in meno (−) "
                                                        "e contatti con lo stesso nome e cognome ma modificati"));
    listver->setRootIsDecorated(false);
    listver->setUniformRowHeights(true);
    listver->setAlternatingRowColors(true);
    listver->setSelectionMode(QAbstractItemView::SingleSelection);
    listver->header()->setStretchLastSection(true);
    // The date and the count always whole; the differences take the rest.
    listver->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    listver->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    outer->addWidget(listver, 1);

    auto *buttons = new QHBoxLayout;
    QPushButton *Button1 = Desktop::button(this, "Button1", QStringLiteral("Ripristina"), 100);
    Button1->setToolTip(QStringLiteral("Rimette la versione scelta al posto della rubrica attuale, che viene conservata "
                                       "tra le versioni"));
    QPushButton *Button2 = Desktop::button(this, "Button2", QStringLiteral("Apri cartella"), 100);
    QPushButton *BitBtn1 = Desktop::button(this, "BitBtn1", QStringLiteral("&Chiudi"), 100);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    outer->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button2Click(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(listver, &QTreeWidget::itemDoubleClicked, Button1, &QPushButton::click);

    resize(560, 380);
    Desktop::fitToScreen(this, Desktop::Fit::Resizable);
}

void TfrmVersioni::LoadList()
{
    m_versions = BookVersions::list(AddressBook::contactFile());
    m_book.reset();
    m_filled = 0;
    listver->clear();
    for (const BookVersions::Version &v : std::as_const(m_versions)) {
        QString when = DateText::format(v.moment());
        if (v.number > 1)
            when += QStringLiteral(" (%1)").arg(v.number);
        auto *item = new QTreeWidgetItem(listver, {when, QStringLiteral("…"), QStringLiteral("…")});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, QDir::toNativeSeparators(v.path));
    }
    if (listver->topLevelItemCount() > 0)
        listver->setCurrentItem(listver->topLevelItem(0));
    if (!m_fillScheduled && !m_versions.isEmpty()) {
        m_fillScheduled = true;
        QTimer::singleShot(0, this, &TfrmVersioni::fillNext);
    }
}

void TfrmVersioni::fillNext()
{
    m_fillScheduled = false;
    if (m_filled >= m_versions.size())
        return;
    fillRow(m_filled++);
    if (m_filled < m_versions.size()) {
        m_fillScheduled = true;
        QTimer::singleShot(0, this, &TfrmVersioni::fillNext);
    }
}

void TfrmVersioni::fillDifferences()
{
    while (m_filled < m_versions.size())
        fillRow(m_filled++);
}

void TfrmVersioni::fillRow(int row)
{
    QTreeWidgetItem *item = listver->topLevelItem(row);
    if (!item)
        return;
    WaitCursor wait;
    try {
        if (!m_book) {
            const QString book = AddressBook::contactFile();
            m_book = std::make_unique<BookVersions::Comparison>(QFileInfo::exists(book) ? AddressBook::readFile(book)
                                                                                         : QByteArray());
        }
        const BookVersions::Difference d = m_book->with(AddressBook::readFile(m_versions[row].path));
        item->setText(1, QString::number(d.contacts));
        item->setText(2, BookVersions::describe(d));
    } catch (const AppError &e) {
        // A version that cannot be read says why where its figures would be.
        item->setText(1, QStringLiteral("?"));
        item->setText(2, e.message());
    }
}

void TfrmVersioni::Button1Click()
{
    const int row = listver->indexOfTopLevelItem(listver->currentItem());
    if (row < 0 || row >= m_versions.size()) {
        ShowError(QStringLiteral("Scegli la versione da ripristinare."));
        return;
    }
    const BookVersions::Version version = m_versions[row];
    const QString text = QStringLiteral("Ripristinare la versione della rubrica del %1? La rubrica attuale sarà "
                                        "conservata tra le versioni, così il ripristino si potrà annullare.")
                             .arg(DateText::format(version.moment()));
    if (!Messages::destructiveQuestion(QStringLiteral("Ripristina versione"), text))
        return;
    {
        WaitCursor wait;
        BookVersions::restore(AddressBook::contactFile(), version.path);
    }
    m_restored = true;
    // The book now is another: every version compares anew, the one just replaced on top.
    LoadList();
}

void TfrmVersioni::Button2Click()
{
    const QString folder = BookVersions::folderOf(AddressBook::contactFile());
    // The folder comes with the first change; before it, it is made empty to be shown.
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    ShellOpen(QDir::toNativeSeparators(folder));
}
