#include "Msvcard.h"

#include "store/AddressBook.h"
#include "store/TextCodec.h"

#include <QCoreApplication>
#include <QIODevice>

TmsVCard::TmsVCard(QObject *owner) : QObject(owner) {}

TmsVCard::~TmsVCard() = default;

void TmsVCard::Clear()
{
    m_identification.Clear();
    m_deliveryInfo.Clear();
    m_telecomInfo.Clear();
    m_businessInfo.Clear();
    m_explanatoryInfo.Clear();
}

void TmsVCard::Assign(const TmsPersistent *source)
{
    const auto *s = dynamic_cast<const TmsVCard *>(source);
    if (!s)
        return TmsPersistent::Assign(source);
    m_identification.Assign(&s->m_identification);
    m_deliveryInfo.Assign(&s->m_deliveryInfo);
    m_telecomInfo.Assign(&s->m_telecomInfo);
    m_businessInfo.Assign(&s->m_businessInfo);
    m_explanatoryInfo.Assign(&s->m_explanatoryInfo);
}

void TmsVCard::LoadFromFile(const QString &fileName)
{
    // The whole file is read before anything is cleared.
    LoadFromBytes(AddressBook::readFile(fileName));
}

void TmsVCard::LoadFromStream(QIODevice *stream)
{
    if (!stream || !stream->isReadable()) {
        throw AppError(QCoreApplication::translate("TmsVCard", "Impossibile leggere il vCard: %1")
                           .arg(stream ? stream->errorString() : QStringLiteral("nessun flusso")));
    }
    if (!stream->isSequential())
        stream->seek(0);
    LoadFromBytes(stream->readAll());
}

void TmsVCard::LoadFromBytes(QByteArrayView bytes)
{
    TmsPropertyPool pool(TextCodec::withoutUtf8Bom(bytes));
    LoadFromPool(pool);
}

void TmsVCard::LoadFromPool(TmsPropertyPool &pool)
{
    // One pool of properties: each record takes the ones it reads, so the next record
    // looking for the same property finds the next one. What nobody takes is dropped.
    TmsPropertyParser parser;
    parser.setPool(&pool);
    m_identification.LoadFrom(parser);
    m_deliveryInfo.LoadFrom(parser);
    m_telecomInfo.LoadFrom(parser);
    m_businessInfo.LoadFrom(parser);
    m_explanatoryInfo.LoadFrom(parser);
}

QByteArray TmsVCard::SaveToBytes() const
{
    QByteArrayList lines{"BEGIN:VCARD", "VERSION:1.2"};
    m_identification.SaveToLines(lines);
    m_deliveryInfo.SaveToLines(lines);
    m_telecomInfo.SaveToLines(lines);
    m_businessInfo.SaveToLines(lines);
    m_explanatoryInfo.SaveToLines(lines);
    lines.append("END:VCARD");
    return AddressBook::joinLines(lines);
}

void TmsVCard::SaveToFile(const QString &fileName) const
{
    AddressBook::saveFile(fileName, SaveToBytes());
}

void TmsVCard::SaveToStream(QIODevice *stream) const
{
    const QByteArray bytes = SaveToBytes();
    if (!stream || !stream->isWritable() || stream->write(bytes) != bytes.size()) {
        throw AppError(QCoreApplication::translate("TmsVCard", "Impossibile scrivere il vCard: %1")
                           .arg(stream ? stream->errorString() : QStringLiteral("nessun flusso")));
    }
}
