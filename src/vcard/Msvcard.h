#pragma once

#include <QObject>

// The card component: one electronic business card in a fixed tree of records.
class TmsVCard : public QObject
{
    Q_OBJECT

public:
    explicit TmsVCard(QObject *owner = nullptr) : QObject(owner) {}
};
