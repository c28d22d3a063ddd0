#pragma once

#include <QWidget>

class QLabel;

// The borderless picture shown while the program starts.
class TfrmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmSplash(QWidget *owner = nullptr);

private:
    QLabel *Image1;
};
