#include "support/TestSupport.h"

#include "about/LinkLabel.h"
#include "about/VersionReply.h"
#include "about/WebAddresses.h"
#include "about/frmAboutUnit.h"
#include "app/Messages.h"
#include "app/frmMainUnit.h"
#include "store/AppError.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_WIN
#include <winsock2.h>
using SocketHandle = SOCKET;
#else
#include <sys/socket.h>
using SocketHandle = int;
#endif

namespace {

// A small HTTP server on 127.0.0.1 that answers every request with the same bytes and
// keeps what it was asked. An empty answer means the server never answers.
class VersionServer : public QObject
{
public:
    QByteArray answer;
    // Sent again and again after the answer, for as long as the client reads.
    QByteArray endless;
    qint64 sent = 0;
    QList<QByteArray> requests;
    std::function<void()> onRequest; // runs while the program waits for the answer

    VersionServer()
    {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
        });
    }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

private:
    void read(QTcpSocket *s)
    {
        QByteArray &buffer = pending[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        requests.append(buffer);
        buffer.clear();
        if (onRequest)
            onRequest();
        if (answer.isEmpty())
            return;
        // An answer ending in "<reset>" ends with a reset connection instead of a close.
        const bool reset = answer.endsWith("<reset>");
        s->write(reset ? answer.chopped(7) : answer);
        if (reset) {
            s->flush();
            const auto resetNow = [s] {
                const linger now{1, 0};
                ::setsockopt(SocketHandle(s->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                             reinterpret_cast<const char *>(&now), sizeof now);
                s->abort();
            };
#ifdef Q_OS_WIN
            // Wine tells a client nothing of a reset that overtakes the bytes before it read
            // them: they go first there, or the check would end only at its time limit.
            QTimer::singleShot(100, s, resetNow);
#else
            resetNow();
#endif
            return;
        }
        if (endless.isEmpty()) {
            s->disconnectFromHost();
            return;
        }
        const auto pump = [this, s] {
            while (s->state() == QAbstractSocket::ConnectedState && s->bytesToWrite() < 64 * 1024) {
                s->write(endless);
                sent += endless.size();
            }
        };
        connect(s, &QTcpSocket::bytesWritten, this, pump);
        pump();
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> pending;
};

QByteArray ok(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

// While alive, shows every message box for real and closes it, noting whether it showed its
// text as plain text.
struct RealBoxes
{
    int plain = 0;
    int rich = 0;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    RealBoxes()
    {
        Messages::setShowForReal(true);
        poll();
    }
    ~RealBoxes()
    {
        *alive = false;
        Messages::setShowForReal(false);
    }
    void poll()
    {
        QTimer::singleShot(5, [this, alive = alive] {
            if (!*alive)
                return;
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                (label && label->textFormat() == Qt::PlainText ? plain : rich)++;
                box->button(QMessageBox::Ok)->click();
            }
            poll();
        });
    }
};

QString lstat(TfrmAbout &w) { return w.findChild<QLabel *>(QStringLiteral("lstat"))->text(); }
void pressControlla(TfrmAbout &w) { QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton); }

QByteArray header(const QByteArray &request, const QByteArray &name)
{
    for (const QByteArray &line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
    }
    return "<none>";
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        TfrmAbout::setUpdateServer(QString());
        TfrmAbout::setTimeLimit(0);
    }
    void versionReply_data();
    void versionReply();
    void updateCheck_data();
    void updateCheck();
    void checkTakesNoInput();
    void serverThatNeverAnswers_data();
    void serverThatNeverAnswers();
    void closedPort();
    void windowAndLinks();
    void mainWindowOpensAbout();
};

void TestAbout::versionReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << QByteArray("1.1|http://x/") << true << 1 << 1 << QStringLiteral("http://x/") << false;
    QTest::newRow("minor up") << QByteArray("1.2|http://x/") << true << 1 << 2 << QStringLiteral("http://x/") << true;
    QTest::newRow("major up") << QByteArray("2.0|http://x/") << true << 2 << 0 << QStringLiteral("http://x/") << true;
    QTest::newRow("older") << QByteArray("0.9|http://x/") << true << 0 << 9 << QStringLiteral("http://x/") << false;
    QTest::newRow("1.10 is newer") << QByteArray("1.10|http://x/") << true << 1 << 10 << QStringLiteral("http://x/") << true;
    QTest::newRow("1.01 is 1.1") << QByteArray("1.01|http://x/") << true << 1 << 1 << QStringLiteral("http://x/") << false;
    QTest::newRow("major wins") << QByteArray("0.99|https://x/") << true << 0 << 99 << QStringLiteral("https://x/") << false;
    QTest::newRow("address to its line end") << QByteArray("1.2|http://x/?a|b\r\n") << true << 1 << 2
                                             << QStringLiteral("http://x/?a|b") << true;
    // The address is one web address and nothing else.
    QTest::newRow("second line") << QByteArray("9.9|http://x/\nfile:///etc/passwd") << false << 0 << 0 << QString() << false;
    QTest::newRow("blank before") << QByteArray("1.2| http://x/") << false << 0 << 0 << QString() << false;
    QTest::newRow("blank inside") << QByteArray("1.2|http://x/a b") << false << 0 << 0 << QString() << false;
    QTest::newRow("control character") << QByteArray("1.2|http://x/\x1b[2J") << false << 0 << 0 << QString() << false;
    QTest::newRow("no host") << QByteArray("1.2|http:///etc/passwd") << false << 0 << 0 << QString() << false;
    QTest::newRow("no address") << QByteArray("1.2|") << false << 0 << 0 << QString() << false;
    QTest::newRow("no dot") << QByteArray("12|http://x/") << false << 0 << 0 << QString() << false;
    QTest::newRow("no bar") << QByteArray("1.2 http://x/") << false << 0 << 0 << QString() << false;
    QTest::newRow("bar before dot") << QByteArray("1|2.3") << false << 0 << 0 << QString() << false;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << QString() << false;
    QTest::newRow("error page") << QByteArray("<html><body>Pagina non trovata. Riprova|</body></html>") << false << 0 << 0
                                << QString() << false;
    QTest::newRow("empty minor") << QByteArray("1.|x") << false << 0 << 0 << QString() << false;
    QTest::newRow("too large") << QByteArray("99999999999.1|x") << false << 0 << 0 << QString() << false;
}

void TestAbout::versionReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, address);
    QFETCH(bool, newer);
    try {
        const VersionReply v = VersionReply::parse(reply);
        QVERIFY2(valid, "a malformed reply was accepted");
        QCOMPARE(v.major, major);
        QCOMPARE(v.minor, minor);
        QCOMPARE(v.address, address);
        QCOMPARE(v.isNewerThan(1, 1), newer);
    } catch (const AppError &e) {
        QVERIFY2(!valid, qPrintable(e.message()));
        QVERIFY(e.message().startsWith(QStringLiteral("Risposta non valida dal server degli aggiornamenti")));
    }
}

void TestAbout::updateCheck_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<bool>("errorBox");
    const QString none = QStringLiteral("Non ci sono aggiornamenti.");
    const QString failed = QStringLiteral("Aggiornamenti non cercati");
    const QString page = QStringLiteral("http://www.rubrino.example/scarica/");
    QTest::newRow("1.1") << ok("1.1|" + page.toLatin1()) << none << QStringList() << false;
    QTest::newRow("1.2") << ok("1.2|" + page.toLatin1()) << QStringLiteral("E' disponibile la versione 1.2")
                         << QStringList{page} << false;
    QTest::newRow("2.0") << ok("2.0|" + page.toLatin1()) << QStringLiteral("E' disponibile la versione 2.0")
                         << QStringList{page} << false;
    QTest::newRow("0.9") << ok("0.9|" + page.toLatin1()) << none << QStringList() << false;
    QTest::newRow("1.10") << ok("1.10|" + page.toLatin1()) << QStringLiteral("E' disponibile la versione 1.10")
                          << QStringList{page} << false;
    QTest::newRow("1.01") << ok("1.01|" + page.toLatin1()) << none << QStringList() << false;
    QTest::newRow("https in capitals") << ok("1.3|HTTPS://X.example/") << QStringLiteral("E' disponibile la versione 1.3")
                                       << QStringList{QStringLiteral("HTTPS://X.example/")} << false;
    const QString invalid = QStringLiteral("Risposta del server non valida");
    QTest::newRow("program, not opened") << ok("1.2|C:\\Windows\\System32\\calc.exe") << invalid << QStringList() << true;
    QTest::newRow("file, not opened") << ok("3.0|file:///etc/passwd") << invalid << QStringList() << true;
    QTest::newRow("other scheme, not opened") << ok("1.2|javascript:alert(1)") << invalid << QStringList() << true;
    QTest::newRow("second line, not opened") << ok("9.9|http://x/\r\nfile:///etc/passwd") << invalid << QStringList() << true;
    QTest::newRow("line end after the address") << ok("1.2|http://x/\r\n") << QStringLiteral("E' disponibile la versione 1.2")
                                                << QStringList{"http://x/"} << false;
    // Without a length the body ends with the connection: only a clean close completes it.
    QTest::newRow("no length, closed") << QByteArray("HTTP/1.1 200 OK\r\n\r\n1.2|http://x/")
                                       << QStringLiteral("E' disponibile la versione 1.2") << QStringList{"http://x/"} << false;
    QTest::newRow("no length, reset") << QByteArray("HTTP/1.1 200 OK\r\n\r\n1.2|http://x/<reset>") << failed
                                      << QStringList() << false;
    QTest::newRow("not found") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 14\r\nConnection: close\r\n\r\n1.2|http://x/")
                               << failed << QStringList() << false;
    QTest::newRow("server error") << QByteArray("HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n\r\n")
                                  << failed << QStringList() << false;
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << failed << QStringList() << false;
    QTest::newRow("error page with 200") << ok("<html><body>Errore interno.</body></html>") << invalid << QStringList()
                                         << true;
    QTest::newRow("empty body") << ok("") << invalid << QStringList() << true;
    QTest::newRow("link in the reply") << ok("1.<a href=file:///c:/x/calc.exe>OK</a>|") << invalid << QStringList() << true;
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n1.2|\r\n"
                                           "9;x=1\r\nhttp://x/\r\n0\r\nX-Trailer: 1\r\n\r\n")
                             << QStringLiteral("E' disponibile la versione 1.2") << QStringList{"http://x/"} << false;
    QTest::newRow("chunk longer than sent") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                          "20\r\n1.2|http://x/\r\n")
                                            << failed << QStringList() << false;
    QTest::newRow("redirect") << QByteArray("HTTP/1.1 302 Found\r\nLocation: /altro.txt\r\nContent-Length: 0\r\n\r\n")
                              << failed << QStringList() << false;
    QTest::newRow("too large, announced") << ok("1.2|http://x/" + QByteArray(70 * 1024, 'a')) << failed << QStringList()
                                          << false;
    QTest::newRow("too large, unannounced")
        << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n1.2|http://x/" + QByteArray(70 * 1024, 'a') << failed
        << QStringList() << false;
    QTest::newRow("just within the limit") << ok("1.2|http://x/" + QByteArray(64 * 1024 - 13, 'a'))
                                           << QStringLiteral("E' disponibile la versione 1.2")
                                           << QStringList{"http://x/" + QString(64 * 1024 - 13, u'a')} << false;
}

// The check asks the server for the version file and reports what it found; every
// request carries the path and headers the server expects.
void TestAbout::updateCheck()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, status);
    QFETCH(QStringList, opened);
    QFETCH(bool, errorBox);
    TestFolder folder;
    VersionServer server;
    server.answer = answer;
    TfrmAbout::setUpdateServer(server.address());
    TfrmAbout w;
    w.show();
    QCOMPARE(lstat(w), QStringLiteral(" Clicca su \"Controlla\" ."));
    {
        RealBoxes boxes;
        pressControlla(w);
        // The error quotes the reply, which never becomes markup or a link.
        QCOMPARE(boxes.plain, errorBox ? 1 : 0);
        QCOMPARE(boxes.rich, 0);
    }

    QCOMPARE(lstat(w), status);
    QCOMPARE(takeShellOpened(), opened);
    const QList<Messages::Shown> shown = Messages::takeShown();
    QCOMPARE(shown.size(), errorBox ? 1 : 0);
    if (errorBox) {
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QVERIFY2(shown[0].text.contains(QStringLiteral("aggiornamenti")), qPrintable(shown[0].text));
    }
    // One request; a redirect is followed five times, then given up.
    QCOMPARE(server.requests.size(), QTest::currentDataTag() == QByteArray("redirect") ? 6 : 1);
    for (const QByteArray &request : std::as_const(server.requests)) {
        const QByteArray path = request == server.requests.first() ? "/aggiornamenti/rbn.txt" : "/altro.txt";
        QVERIFY2(request.startsWith("GET " + path + " HTTP/1.1\r\n"), request.constData());
        QCOMPARE(header(request, "Accept"), QByteArray("text/html, */*"));
        QCOMPARE(header(request, "User-Agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
        QCOMPARE(header(request, "Host"), "127.0.0.1:" + server.address().section(u':', -1).toLatin1());
        QCOMPARE(header(request, "Authorization"), QByteArray("<none>"));
    }
    QVERIFY(w.isVisible());
}

// While the request runs the window shows "Verifica..." and takes no input: a click on
// "Chiudi", "Controlla" or a link is dropped, and closing is refused until the answer is in.
void TestAbout::checkTakesNoInput()
{
    TestFolder folder;
    VersionServer server;
    server.answer = ok("1.2|http://www.rubrino.example/");
    TfrmAbout::setUpdateServer(server.address());
    TfrmAbout w;
    w.show();
    QString during;
    server.onRequest = [&] {
        during = lstat(w);
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
        pressControlla(w);
        QTest::mouseClick(w.findChild<QLabel *>(QStringLiteral("link4")), Qt::LeftButton);
        QTest::keyClick(&w, Qt::Key_Escape);
        w.close();
    };
    pressControlla(w);
    QCOMPARE(during, QStringLiteral("Verifica..."));
    QVERIFY(w.isVisible());
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(lstat(w), QStringLiteral("E' disponibile la versione 1.2"));
    QCOMPARE(takeShellOpened(), QStringList{QStringLiteral("http://www.rubrino.example/")});
    // Afterwards the window works again, and the check can be repeated.
    server.onRequest = nullptr;
    server.answer = ok("1.1|http://www.rubrino.example/");
    pressControlla(w);
    QCOMPARE(lstat(w), QStringLiteral("Non ci sono aggiornamenti."));
    QCOMPARE(server.requests.size(), 2);
    w.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    QVERIFY(!w.isVisible());
}

void TestAbout::serverThatNeverAnswers_data()
{
    QTest::addColumn<QByteArray>("answer"); // empty: it reads the request and says nothing
    QTest::addColumn<QByteArray>("endless");
    QTest::addColumn<int>("timeLimit");
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    QTest::newRow("silent") << QByteArray() << QByteArray() << 300;
    QTest::newRow("chunks without end") << chunked << QByteArray("4000\r\n" + QByteArray(0x4000, 'a') + "\r\n") << 20000;
    QTest::newRow("one chunk without end") << QByteArray(chunked + "7fffffff\r\n") << QByteArray(0x4000, 'a') << 20000;
    QTest::newRow("body without end") << QByteArray("HTTP/1.1 200 OK\r\n\r\n1.2|") << QByteArray(0x4000, 'a') << 20000;
    QTest::newRow("head without end") << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("X-A: b\r\n").repeated(1000)
                                      << 20000;
}

void TestAbout::serverThatNeverAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, endless);
    QFETCH(int, timeLimit);
    TestFolder folder;
    VersionServer server;
    server.answer = answer;
    server.endless = endless;
    TfrmAbout::setUpdateServer(server.address());
    TfrmAbout::setTimeLimit(timeLimit);
    TfrmAbout w;
    w.show();
    QElapsedTimer elapsed;
    elapsed.start();
    pressControlla(w);
    QCOMPARE(lstat(w), QStringLiteral("Aggiornamenti non cercati"));
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(Messages::takeShown().size(), 0);
    QCOMPARE(takeShellOpened(), QStringList());
    // A reply that never ends is cut once it is too large, not when the time is up, and
    // long before it has filled memory: what the server got to send stays in the hundreds
    // of kilobytes, the 64 KiB taken and what waits in the network on the way.
    if (!endless.isEmpty()) {
        QVERIFY2(elapsed.elapsed() < timeLimit / 2, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(server.sent < 4 << 20, qPrintable(QString::number(server.sent)));
    }
}

void TestAbout::closedPort()
{
    TestFolder folder;
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    TfrmAbout::setUpdateServer(QStringLiteral("http://127.0.0.1:%1").arg(port));
    TfrmAbout w;
    w.show();
    pressControlla(w);
    QCOMPARE(lstat(w), QStringLiteral("Aggiornamenti non cercati"));
    QCOMPARE(Messages::takeShown().size(), 0);
}

void TestAbout::windowAndLinks()
{
    TestFolder folder;
    TfrmAbout w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Informazioni su Rubrino 1.1"));
    QCOMPARE(w.versionMajor, 1);
    QCOMPARE(w.versionMinor, 1);
    QCOMPARE(TfrmAbout::updateUrl(), QUrl(QStringLiteral("http://aggiornamenti.rubrino.example/aggiornamenti/rbn.txt")));
    auto *label1 = w.findChild<QLabel *>(QStringLiteral("Label1"));
    QCOMPARE(label1->text(), QStringLiteral("Rubrino 1.1"));
    QVERIFY(label1->font().bold());
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label10"))->text(), QStringLiteral("Controllo aggiornamenti:"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("Button2"))->text(), QStringLiteral("Controlla ..."));

    auto *logo = w.findChild<QLabel *>(QStringLiteral("Image1"));
    QCOMPARE(logo->pixmap().size(), QSize(250, 50));
    QCOMPARE(logo->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(logo, Qt::LeftButton);
    QCOMPARE(takeShellOpened(), QStringList{WebAddresses::homePage()});

    const QList<LinkLabel *> links = w.findChildren<LinkLabel *>();
    QCOMPARE(links.size(), 5);
    QStringList expected{WebAddresses::makerSite(), WebAddresses::graphicsSite(), WebAddresses::testersSite(),
                         WebAddresses::homePage(), WebAddresses::forum()};
    for (LinkLabel *l : links) {
        QCOMPARE(l->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QVERIFY(!l->font().underline());
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(l, &enter);
        QVERIFY(l->font().underline());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(l, &leave);
        QVERIFY(!l->font().underline());
        QTest::mouseClick(l, Qt::LeftButton);
        QCOMPARE(takeShellOpened(), QStringList{l->address()});
        QVERIFY(expected.removeOne(l->address()));
    }
    QCOMPARE(w.findChild<LinkLabel *>(QStringLiteral("link4"))->address(), WebAddresses::homePage());
    QCOMPARE(w.findChild<LinkLabel *>(QStringLiteral("JvHotLink2"))->address(), WebAddresses::forum());
    // A press that leaves the link before the release is no click.
    auto *forum = w.findChild<LinkLabel *>(QStringLiteral("JvHotLink2"));
    QTest::mousePress(forum, Qt::LeftButton);
    QTest::mouseRelease(forum, Qt::LeftButton, {}, QPoint(-5, -5));
    QCOMPARE(takeShellOpened(), QStringList());

    w.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    QVERIFY(!w.isVisible());
}

void TestAbout::mainWindowOpensAbout()
{
    TestFolder folder;
    TfrmMain main;
    main.show();
    QString title;
    QTimer::singleShot(0, [&] {
        auto *w = qobject_cast<TfrmAbout *>(QApplication::activeModalWidget());
        QVERIFY(w);
        title = w->windowTitle();
        w->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    });
    main.findChild<QPushButton *>(QStringLiteral("Button7"))->click();
    QCOMPARE(title, QStringLiteral("Informazioni su Rubrino 1.1"));
    QVERIFY(main.findChildren<TfrmAbout *>().isEmpty());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
