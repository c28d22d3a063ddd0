#include "frmPromemoriaUnit.h"

#include "ReminderFile.h"
#include "app/Desktop.h"
#include "app/Messages.h"
#include "store/AddressBook.h"
#include "store/TextCodec.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
// Line breaks belong to the note; they are stored as the file's own line ends.
bool isLineBreak(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n' || c == u'\r';
}
} // namespace

TfrmPromemoria::TfrmPromemoria(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmPromemoria"));
    setWindowTitle(QStringLiteral("Promemoria"));

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(5, 5, 5, 5);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    gbox = new QGroupBox(QStringLiteral("Scrivi promemoria:"), this);
    gbox->setObjectName(QStringLiteral("gbox"));
    outer->addWidget(gbox);
    auto *inner = new QVBoxLayout(gbox);
    inner->setContentsMargins(8, 6, 8, 8);
    inner->setSpacing(6);

    mem = new QPlainTextEdit(gbox);
    mem->setObjectName(QStringLiteral("mem"));
    mem->setFixedSize(350, 350);
    mem->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mem->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The tab key moves to the next control, as in every other box of the program.
    mem->setTabChangesFocus(true);
    inner->addWidget(mem);

    cbman = new QCheckBox(QStringLiteral("Visualizza il promemoria al prossimo avvio"), gbox);
    cbman->setObjectName(QStringLiteral("cbman"));
    inner->addWidget(cbman);

    Button1 = new QPushButton(QStringLiteral("Chiudi"), gbox);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    Button1->setMinimumWidth(90);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    inner->addLayout(buttons);

    FormCreate();

    connect(mem->document(), &QTextDocument::contentsChange, this, &TfrmPromemoria::memContentsChange);
    connect(mem, &QPlainTextEdit::textChanged, this, [this] { memChange(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button1Click(); }); });

    Desktop::fitToScreen(this, Desktop::Fit::Fixed);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    mem->setFocus();
}

void TfrmPromemoria::FormCreate()
{
    const ReminderFile::Content content = ReminderFile::load(AddressBook::reminderFile());
    cbman->setChecked(content.autoLoad);
    gbox->setTitle(ReminderFile::caption(content.savedAt));
    mem->setPlainText(content.note.join(u'\n'));
    // The note as the editor holds it, which is what the user sees and changes: a note of
    // one empty line is an empty editor, and closing that unchanged is no change.
    savedLines = editorLines();
    // Start at the top of the note, not at its end.
    mem->moveCursor(QTextCursor::Start);
    modified = false;
}

QStringList TfrmPromemoria::editorLines() const
{
    QStringList lines;
    const QTextDocument *doc = mem->document();
    // An empty document still holds one empty block: that is a note of no lines.
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        // A line break inside a paragraph (Shift+Enter) ends a line of the file too.
        const QString text = b.text();
        for (const QString &part : text.split(QChar::LineSeparator))
            lines.append(part);
    }
    return lines;
}

void TfrmPromemoria::CheckModified()
{
    modified = ReminderFile::isModified(savedLines, editorLines());
}

bool TfrmPromemoria::saveChangedNote()
{
    CheckModified();
    if (!modified)
        return false;
    if (Messages::question(QStringLiteral("Modifica promemoria"), QStringLiteral("Salvare il promemoria modificato?")))
        ReminderFile::saveNote(AddressBook::reminderFile(), cbman->isChecked(), editorLines());
    return true;
}

void TfrmPromemoria::Button1Click()
{
    if (!saveChangedNote())
        ReminderFile::saveMarker(AddressBook::reminderFile(), cbman->isChecked());
    accept();
}

void TfrmPromemoria::reject()
{
    // A failed write throws past done(): the window stays open with the note.
    bool saved = false;
    Messages::guarded([this, &saved] {
        saveChangedNote();
        saved = true;
    });
    if (saved)
        QDialog::reject();
}

void TfrmPromemoria::memContentsChange(int position, int, int charsAdded)
{
    if (m_cleaning || charsAdded <= 0)
        return;
    const int end = position + charsAdded;
    if (m_addedFrom < 0) {
        m_addedFrom = position;
        m_addedTo = end;
    } else {
        m_addedFrom = qMin(m_addedFrom, position);
        m_addedTo = qMax(m_addedTo, end);
    }
}

// The note is stored in Windows-1252: a character the file cannot hold is taken out as it
// is typed or pasted, with one message per change, so that nothing is saved as "?".
void TfrmPromemoria::memChange()
{
    if (m_cleaning || m_addedFrom < 0)
        return;
    QTextDocument *doc = mem->document();
    const int last = doc->characterCount() - 1; // the final paragraph separator is not text
    const int from = qBound(0, m_addedFrom, last);
    const int to = qBound(from, m_addedTo, last);
    m_addedFrom = m_addedTo = -1;

    QList<int> refused;
    for (int pos = from; pos < to; ++pos) {
        const QChar c = doc->characterAt(pos);
        if (isLineBreak(c))
            continue;
        if (!TextCodec::isAnsi(c))
            refused.append(pos);
    }
    if (refused.isEmpty())
        return;

    m_cleaning = true;
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    // From the end, so that the positions still to remove stay where they are.
    for (auto it = refused.crbegin(); it != refused.crend(); ++it) {
        cursor.setPosition(*it);
        cursor.setPosition(*it + 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
    m_cleaning = false;
    ShowError(QStringLiteral("Non puoi inserire questo carattere nei campi."));
}
