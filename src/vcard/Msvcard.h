#pragma once

#include "Msvcls.h"

#include <QObject>

class QIODevice;

// One electronic business card in a fixed tree of records, read from and written to vCard
// text. The five groups are created with the card and live as long as it does; setting a
// group copies the given group's content into the card's own.
class TmsVCard : public QObject, public TmsPersistent
{
    Q_OBJECT

public:
    explicit TmsVCard(QObject *owner = nullptr);
    ~TmsVCard() override;

    TmsIdentification &Identification() { return m_identification; }
    const TmsIdentification &Identification() const { return m_identification; }
    void setIdentification(const TmsIdentification &v) { m_identification.Assign(&v); }
    TmsDeliveryInfo &DeliveryInfo() { return m_deliveryInfo; }
    const TmsDeliveryInfo &DeliveryInfo() const { return m_deliveryInfo; }
    void setDeliveryInfo(const TmsDeliveryInfo &v) { m_deliveryInfo.Assign(&v); }
    TmsTelecomInfo &TelecomInfo() { return m_telecomInfo; }
    const TmsTelecomInfo &TelecomInfo() const { return m_telecomInfo; }
    void setTelecomInfo(const TmsTelecomInfo &v) { m_telecomInfo.Assign(&v); }
    TmsBusinessInfo &BusinessInfo() { return m_businessInfo; }
    const TmsBusinessInfo &BusinessInfo() const { return m_businessInfo; }
    void setBusinessInfo(const TmsBusinessInfo &v) { m_businessInfo.Assign(&v); }
    TmsExplanatoryInfo &ExplanatoryInfo() { return m_explanatoryInfo; }
    const TmsExplanatoryInfo &ExplanatoryInfo() const { return m_explanatoryInfo; }
    void setExplanatoryInfo(const TmsExplanatoryInfo &v) { m_explanatoryInfo.Assign(&v); }

    void Clear();
    // A deep copy of another card.
    void Assign(const TmsPersistent *source) override;
    const char *ClassName() const override { return "TmsVCard"; }

    // Reading replaces the whole content. A file that cannot be opened or read raises
    // AppError and leaves the card as it was.
    void LoadFromFile(const QString &fileName);
    // Reads the device from its beginning to its end.
    void LoadFromStream(QIODevice *stream);
    // Reads the text of one card (or of several, taken as one); a NUL byte ends the text,
    // and a UTF-8 byte-order mark at its start is skipped.
    void LoadFromBytes(QByteArrayView bytes);
    // Reads the card from a pool of its properties, taking the ones it has slots for: the
    // caller may read what is left, such as further telephones.
    void LoadFromPool(TmsPropertyPool &pool);

    // Replaces the file only once the card is completely written; raises AppError when it
    // cannot be written, and the old file stays as it was.
    void SaveToFile(const QString &fileName) const;
    // Writes the card at the device's current position: several cards can follow one another.
    void SaveToStream(QIODevice *stream) const;
    // The card's text, every line followed by CR LF.
    QByteArray SaveToBytes() const;

private:
    TmsIdentification m_identification;
    TmsDeliveryInfo m_deliveryInfo;
    TmsTelecomInfo m_telecomInfo;
    TmsBusinessInfo m_businessInfo;
    TmsExplanatoryInfo m_explanatoryInfo;
};
