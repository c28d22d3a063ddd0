#include "frmAboutUnit.h"

#include "LinkLabel.h"
#include "UpdateCheck.h"
#include "app/Desktop.h"
#include "VersionReply.h"
#include "WebAddresses.h"
#include "app/JpegImage.h"
#include "app/Messages.h"
#include "app/ShellOpen.h"
#include "app/WaitCursor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString &serverOverride()
{
    static QString server;
    return server;
}

int &timeLimitOverride()
{
    static int ms = 0;
    return ms;
}

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

LinkLabel *link(QWidget *parent, const char *name, const QString &text, const QString &address)
{
    auto *l = new LinkLabel(text, address, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QFrame *bevel(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Swallows the user's input to every window while the update check waits for the server.
// Input is dropped, not queued: clicks made while waiting do not run afterwards.
class InputBlocker : public QObject
{
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::InputMethod:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

QUrl TfrmAbout::updateUrl()
{
    const QString server = serverOverride().isEmpty() ? WebAddresses::updateServer() : serverOverride();
    return QUrl(server + WebAddresses::updatePath());
}

void TfrmAbout::setUpdateServer(const QString &server)
{
    serverOverride() = server;
}

void TfrmAbout::setTimeLimit(int milliseconds)
{
    timeLimitOverride() = milliseconds;
}

TfrmAbout::TfrmAbout(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Informazioni su Rubrino 1.1"));
    setWindowIcon(QIcon(QStringLiteral(":/rubrino.png")));

    http = new UpdateCheck::HttpClient(this);
    http->setObjectName(QStringLiteral("http"));

    auto *outer = new QVBoxLayout(Desktop::content(this));
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto *GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    outer->addWidget(GroupBox1);
    auto *box = new QVBoxLayout(GroupBox1);
    box->setContentsMargins(10, 10, 10, 10);
    box->setSpacing(6);

    Image1 = new QLabel(GroupBox1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(250, 50);
    Image1->setCursor(Qt::PointingHandCursor);
    // A damaged logo leaves its place empty; the window works without it.
    const QImage logo = loadJpegResource(QStringLiteral(":/logo.jpg"));
    if (!logo.isNull())
        Image1->setPixmap(QPixmap::fromImage(logo));
    Image1->installEventFilter(this);
    box->addWidget(Image1, 0, Qt::AlignHCenter);

    box->addWidget(bevel(GroupBox1));

    QLabel *Label1 = label(GroupBox1, "Label1", QStringLiteral("Rubrino 1.1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    box->addWidget(Label1);

    // Credits and links: a caption on the left, its link on the right.
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(3);
    grid->addWidget(label(GroupBox1, "Label2", QStringLiteral("Programma: la squadra di Rubrino")), 0, 0);
    grid->addWidget(link(GroupBox1, "link1", WebAddresses::makerHost(), WebAddresses::makerSite()), 0, 1);
    grid->addWidget(label(GroupBox1, "Label3", QStringLiteral("Grafica: il gruppo grafico di Rubrino")), 1, 0);
    grid->addWidget(link(GroupBox1, "link2", WebAddresses::graphicsHost(), WebAddresses::graphicsSite()), 1, 1);
    grid->addWidget(label(GroupBox1, "Label4", QStringLiteral("Beta tester: i volontari di Rubrino")), 2, 0);
    grid->addWidget(link(GroupBox1, "link3", WebAddresses::testersHost(), WebAddresses::testersSite()), 2, 1);
    grid->addItem(new QSpacerItem(0, 6), 3, 0);
    grid->addWidget(label(GroupBox1, "Label6", QStringLiteral("Pagina web: ")), 4, 0);
    grid->addWidget(link(GroupBox1, "link4", WebAddresses::homePage(), WebAddresses::homePage()), 4, 1);
    grid->addWidget(label(GroupBox1, "Label7", QStringLiteral("Forum: ")), 5, 0);
    grid->addWidget(link(GroupBox1, "JvHotLink2", WebAddresses::forum(), WebAddresses::forum()), 5, 1);
    grid->setColumnStretch(1, 1);
    box->addLayout(grid);

    box->addWidget(bevel(GroupBox1));

    box->addWidget(label(GroupBox1, "Label10", QStringLiteral("Controllo aggiornamenti:")));
    auto *check = new QHBoxLayout;
    Button2 = new QPushButton(QStringLiteral("Controlla ..."), GroupBox1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    check->addWidget(Button2);
    lstat = label(GroupBox1, "lstat", QStringLiteral(" Clicca su \"Controlla\" ."));
    // Room for the longest status, so that the window keeps its size while checking.
    lstat->setMinimumWidth(lstat->fontMetrics().horizontalAdvance(QStringLiteral("E' disponibile la versione 10.10")) + 8);
    check->addWidget(lstat, 1);
    box->addLayout(check);

    Button1 = new QPushButton(QStringLiteral("Chiudi"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button1->setMinimumWidth(90);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(Button1);
    bottom->addStretch(1);
    outer->addLayout(bottom);

    connect(Button1, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Messages::guarded([this] { Button2Click(); }); });

    FormCreate();

    Desktop::fitToScreen(this, Desktop::Fit::Fixed);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::FormCreate()
{
    versionMajor = 1;
    versionMinor = 1;
}

void TfrmAbout::Button1Click()
{
    close();
}

void TfrmAbout::Image1Click()
{
    ShellOpen(WebAddresses::homePage());
}

void TfrmAbout::Button2Click()
{
    if (m_checking)
        return;
    const QString notChecked = QStringLiteral("Aggiornamenti non cercati");

    lstat->setText(QStringLiteral("Verifica..."));
    // Painted now, before the window waits for the server.
    lstat->repaint();

    std::optional<QByteArray> body;
    {
        m_checking = true;
        auto done = qScopeGuard([this] { m_checking = false; });
        InputBlocker blocker;
        WaitCursor wait;
        const int limit = timeLimitOverride() > 0 ? timeLimitOverride() : UpdateCheck::kDefaultTimeLimitMs;
        body = http->get(updateUrl(), limit);
    }
    if (!body) {
        lstat->setText(notChecked);
        return;
    }

    VersionReply reply;
    bool parsed = false;
    Messages::guarded([&] {
        reply = VersionReply::parse(*body);
        parsed = true;
    });
    // The server answered, with something that is not the version file.
    if (!parsed) {
        lstat->setText(QStringLiteral("Risposta del server non valida"));
        return;
    }

    if (!reply.isNewerThan(versionMajor, versionMinor)) {
        lstat->setText(QStringLiteral("Non ci sono aggiornamenti."));
        return;
    }
    lstat->setText(QStringLiteral("E' disponibile la versione %1.%2").arg(reply.major).arg(reply.minor));
    // The address came over plain HTTP: parse() let through only one web address.
    ShellOpen(reply.address);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress)
        return true; // the release that follows makes the click
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Image1->rect().contains(mouse->position().toPoint())) {
            Messages::guarded([this] { Image1Click(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::closeEvent(QCloseEvent *event)
{
    if (m_checking) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmAbout::reject()
{
    if (!m_checking)
        QDialog::reject();
}
