#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
namespace UpdateCheck {
class HttpClient;
}

// The about window: the program's name and version, the credits, the links to the home
// page and the forum, and the manual check for a newer version.
class TfrmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget *owner = nullptr);
    ~TfrmAbout() override;

    void Button1Click(); // Chiudi
    void Button2Click(); // Controlla ...
    void Image1Click();

    int versionMajor = 0;
    int versionMinor = 0;

    // Where the version file is asked for: the update server and its path.
    static QUrl updateUrl();
    // Test seams: another server (an empty text restores the real one) and another time limit
    // (0 restores the real one).
    static void setUpdateServer(const QString &server);
    static void setTimeLimit(int milliseconds);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void FormCreate();

    UpdateCheck::HttpClient *http;
    QLabel *Image1;
    QLabel *lstat;
    QPushButton *Button1;
    QPushButton *Button2;
    // While the request runs the window takes no input and cannot be closed.
    bool m_checking = false;
};
