#pragma once

#include <QWidget>

class QLabel;

// The borderless picture shown while the program starts.
class TfrmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmSplash(QWidget *owner = nullptr);

    // Shows the window and returns once its picture is on the screen, or after 200 ms at
    // most: under a window manager the window is mapped and exposed only some time after
    // show(), and the start-up work that follows would otherwise leave it an empty frame.
    void showPainted();
    bool painted() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *Image1;
    bool m_painted = false;
};
