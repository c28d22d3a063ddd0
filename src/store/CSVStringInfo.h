#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QObject>

#include <cstring>

// Splits one line of comma-separated text into its fields.
//
// A field that begins with a double quote is quoted and may hold commas; it ends at the
// first quote that is followed by a comma, or at a quote that is the line's last character.
// Doubled quotes are not unescaped, an empty last field is dropped, and a quoted field that
// is never closed takes the rest of the line. Lines of the address book rely on exactly this.
class TCSVStringInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QByteArrayList FieldList READ FieldList)
    Q_PROPERTY(bool Error READ Error)
    Q_PROPERTY(QByteArray SourceString READ SourceString WRITE setSourceString)
    Q_PROPERTY(QString About READ About WRITE setAbout)

public:
    explicit TCSVStringInfo(QObject *owner = nullptr);

    const QByteArrayList &FieldList() const { return m_fields; }
    bool Error() const { return m_error; }
    const QByteArray &SourceString() const { return m_source; }
    void setSourceString(const QByteArray &line);
    const QString &About() const { return m_about; }
    void setAbout(const QString &about) { m_about = about; }

    // Calls fn(field) for each field of the line, in order, without copying; the views point
    // into `line`. fn returns false to stop early.
    template<typename Fn>
    static void forEachField(QByteArrayView line, Fn fn);

    // The fields as views into `line`.
    static QList<QByteArrayView> fieldViews(QByteArrayView line);

private:
    QByteArrayList m_fields;
    bool m_error = true;
    QByteArray m_source;
    QString m_about;
};

template<typename Fn>
void TCSVStringInfo::forEachField(QByteArrayView line, Fn fn)
{
    const qsizetype len = line.size();
    const char *s = line.data();
    qsizetype p = 0; // 0-based position
    while (p < len) {
        const bool quoted = s[p] == '"';
        if (quoted)
            ++p;
        const qsizetype restLen = len - p;
        const char *rest = s + p;
        qsizetype n = restLen;
        if (quoted) {
            for (qsizetype i = 0; i < restLen; ++i) {
                if (rest[i] == '"' && (i + 1 == restLen || rest[i + 1] == ',')) {
                    n = i;
                    break;
                }
            }
        } else {
            const void *comma = restLen > 0 ? memchr(rest, ',', size_t(restLen)) : nullptr;
            if (comma)
                n = static_cast<const char *>(comma) - rest;
        }
        if (!fn(QByteArrayView(rest, n)))
            return;
        p += n + 1;
        if (quoted && p < len && s[p] == ',')
            ++p;
    }
}
