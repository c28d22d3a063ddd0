#include "CSVStringInfo.h"

TCSVStringInfo::TCSVStringInfo(QObject *owner) : QObject(owner) {}

void TCSVStringInfo::setSourceString(const QByteArray &line)
{
    m_source = line;
    m_fields.clear();
    if (line.isEmpty()) {
        m_error = true;
        return;
    }
    forEachField(line, [this](QByteArrayView field) {
        m_fields.append(field.toByteArray());
        return true;
    });
    m_error = false;
}

QList<QByteArrayView> TCSVStringInfo::fieldViews(QByteArrayView line)
{
    QList<QByteArrayView> out;
    forEachField(line, [&out](QByteArrayView field) {
        out.append(field);
        return true;
    });
    return out;
}
