// Writes N synthetic contacts as the address book (Windows-1252, CR LF), as a Thunderbird-style
// LDIF file (UTF-8, base64 for accented values), as one multi-card vCard 3.0 file (UTF-8) and
// as an abook data file (UTF-8), so every importer and the peer comparison see the same people.
//
//   rubrino_generate N FOLDER
//
// The family names are 100 names none of which contains another: searching "Cognome" for
// "Benedetti" finds 1 % of the contacts.

#include "store/TextCodec.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTextStream>

#include <cstdio>

namespace {

const char *const kGiven[] = {
    "Niccolò", "Lucia", "Mattia", "Giulia", "Andrea", "Chiara", "Pietro", "Martina", "Tommaso", "Sofia",
    "Mirò", "Beatrice", "Gioele", "Noemi", "Elia", "Aurora", "Nicolò", "Ginevra", "Lorenzo", "Alice",
    "Raffaele", "Irene", "Gabriele", "Rebecca", "Emanuele", "Asia", "Leonardo", "Viola", "Ettore", "Marta",
    "Iacopo", "Elena", "Salvatore", "Greta", "Domenico", "Anna", "Giosuè", "Clelia", "Bartolomeo", "Zoë",
};
const char *const kFamily[] = {
    "Rossi", "Bianchi", "Esposito", "Ricci", "Marino", "Greco", "Bruno", "Gallo", "Conti", "De Luca",
    "Mancini", "Costa", "Giordano", "Rizzo", "Lombardi", "Moretti", "Barbieri", "Fontana", "Santoro", "Mariani",
    "Rinaldi", "Caruso", "Ferrara", "Galli", "Martini", "Leone", "Longo", "Gentile", "Martinelli", "Vitale",
    "Lombardo", "Serra", "Coppola", "De Santis", "D'Angelo", "Marchetti", "Parisi", "Villa", "Conte", "Ferraro",
    "Ferri", "Fabbri", "Bianco", "Marini", "Grasso", "Valentini", "Messina", "Sala", "De Angelis", "Gatti",
    "Pellegrini", "Palumbo", "Sanna", "Farina", "Rizzi", "Monti", "Cattaneo", "Morelli", "Amato", "Silvestri",
    "Mazza", "Testa", "Grassi", "Pellegrino", "Carbone", "Giuliani", "Benedetti", "Barone", "Rossetti", "Caputo",
    "Montanari", "Guerra", "Palmieri", "Bernardi", "Martino", "Fiore", "Bellini", "Basile", "Riva", "Donati",
    "Piras", "Vitali", "Battaglia", "Sartori", "Neri", "Costantini", "Milani", "Pagano", "Ruggiero", "Sorrentino",
    "D'Amico", "Orlando", "Damico", "Negri", "Nicolàs", "Càrdenas", "Perù", "Oddò", "Zappalà", "Bellè",
};
const char *const kCity[] = {"Forlì", "Cantù", "Città di Castello", "Milano", "Napoli", "Torino", "Bari", "Sanluri"};
const char *const kJob[] = {"Ingegnere", "Medico", "Avvocato", "Insegnante", "Commerciale", "Architetto"};
const char *const kStreet[] = {"Via Garibaldi", "Corso Italia", "Piazza Duomo", "Viale Mazzini", "Via Verdi"};

QString ascii(QString s)
{
    s = s.normalized(QString::NormalizationForm_D);
    QString out;
    for (QChar c : s) {
        if (c.unicode() < 128 && (c.isLetterOrNumber()))
            out += c.toLower();
    }
    return out;
}

struct Person
{
    QString f[18];
};

Person person(int i)
{
    Person p;
    const QString given = QString::fromUtf8(kGiven[i % 40]);
    const QString family = QString::fromUtf8(kFamily[(i / 40 + i) % 100]);
    const QString city = QString::fromUtf8(kCity[i % 8]);
    const QString id = ascii(given) + u'.' + ascii(family) + QString::number(i);
    p.f[0] = given;
    p.f[1] = family;
    p.f[2] = QString::fromUtf8(kJob[i % 6]);
    p.f[3] = QStringLiteral("Società %1 S.r.l.").arg(i % 977);
    p.f[4] = QStringLiteral("%1 %2").arg(QString::fromUtf8(kStreet[i % 5])).arg(1 + i % 200);
    p.f[5] = city;
    p.f[6] = QStringLiteral("%1").arg(10000 + (i * 37) % 89999, 5, 10, QLatin1Char('0'));
    p.f[7] = QStringLiteral("Italia");
    p.f[8] = QStringLiteral("+39 3%1 %2").arg(20 + i % 80).arg(1000000 + (i * 7919) % 8999999);
    p.f[9] = QStringLiteral("+39 3%1 %2").arg(30 + i % 60).arg(1000000 + (i * 104729) % 8999999);
    p.f[10] = QStringLiteral("+39 0%1 %2").arg(2 + i % 90).arg(100000 + (i * 31) % 899999);
    p.f[11] = QStringLiteral("+39 0%1 %2").arg(2 + i % 90).arg(200000 + (i * 17) % 799999);
    p.f[12] = QStringLiteral("+39 0%1 %2").arg(2 + i % 90).arg(300000 + (i * 13) % 699999);
    p.f[13] = id + QStringLiteral("@im.example");
    p.f[14] = id + QStringLiteral("@posta.example");
    p.f[15] = QStringLiteral("www.") + ascii(family) + QStringLiteral(".example");
    p.f[16] = QStringLiteral("Conosciuto a %1 nel %2").arg(city).arg(1990 + i % 35);
    p.f[17] = QStringLiteral("%1/%2/2026 %3:%4:%5")
                  .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                  .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                  .arg(i % 24, 2, 10, QLatin1Char('0'))
                  .arg(i % 60, 2, 10, QLatin1Char('0'))
                  .arg((i / 60) % 60, 2, 10, QLatin1Char('0'));
    return p;
}

QByteArray ldifValue(const char *attr, const QString &v)
{
    const QByteArray utf8 = v.toUtf8();
    bool plain = !utf8.startsWith(' ') && !utf8.startsWith(':') && !utf8.startsWith('<');
    for (char c : utf8)
        plain = plain && static_cast<unsigned char>(c) < 128;
    if (plain)
        return QByteArray(attr) + ": " + utf8 + "\r\n";
    return QByteArray(attr) + ":: " + utf8.toBase64() + "\r\n";
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: rubrino_generate N FOLDER\n");
        return 2;
    }
    const int n = QByteArray(argv[1]).toInt();
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);

    QByteArray csv, ldif, vcf, abook = "# abook addressbook file\n\n[format]\nprogram=abook\nversion=0.6.1\n\n";
    csv.reserve(qsizetype(n) * 200);
    for (int i = 0; i < n; ++i) {
        const Person p = person(i);
        for (int k = 0; k < 18; ++k) {
            if (k)
                csv += ',';
            csv += TextCodec::toAnsi(p.f[k]);
        }
        csv += "\r\n";
        if (n > 1000000)
            continue; // the other formats are only asked for up to a million contacts
        const QString full = p.f[0] + u' ' + p.f[1];
        ldif += ldifValue("dn", QStringLiteral("cn=%1,mail=%2").arg(full, p.f[14]));
        ldif += "objectclass: top\r\nobjectclass: person\r\nobjectclass: organizationalPerson\r\n"
                "objectclass: inetOrgPerson\r\nobjectclass: mozillaAbPersonAlpha\r\n";
        ldif += ldifValue("givenName", p.f[0]) + ldifValue("sn", p.f[1]) + ldifValue("cn", full);
        ldif += ldifValue("mail", p.f[14]) + "modifytimestamp: 0Z\r\n";
        ldif += ldifValue("telephoneNumber", p.f[11]) + ldifValue("homePhone", p.f[10]) + ldifValue("fax", p.f[12]);
        ldif += ldifValue("mobile", p.f[8]) + ldifValue("homeStreet", p.f[4]) + ldifValue("mozillaHomeLocalityName", p.f[5]);
        ldif += ldifValue("mozillaHomePostalCode", p.f[6]) + ldifValue("mozillaHomeCountryName", p.f[7]);
        ldif += ldifValue("title", p.f[2]) + ldifValue("company", p.f[3]) + ldifValue("mozillaWorkUrl", p.f[15]);
        ldif += ldifValue("description", p.f[16]) + "\r\n";

        vcf += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        vcf += "FN:" + full.toUtf8() + "\r\nN:" + p.f[1].toUtf8() + ';' + p.f[0].toUtf8() + ";;;\r\n";
        vcf += "ORG:" + p.f[3].toUtf8() + "\r\nTITLE:" + p.f[2].toUtf8() + "\r\n";
        vcf += "ADR;TYPE=HOME:;;" + p.f[4].toUtf8() + ';' + p.f[5].toUtf8() + ";;" + p.f[6].toUtf8() + ';'
            + p.f[7].toUtf8() + "\r\n";
        vcf += "TEL;TYPE=CELL:" + p.f[8].toUtf8() + "\r\nTEL;TYPE=HOME,VOICE:" + p.f[10].toUtf8()
            + "\r\nTEL;TYPE=WORK,VOICE:" + p.f[11].toUtf8() + "\r\n";
        vcf += "EMAIL;TYPE=INTERNET:" + p.f[14].toUtf8() + "\r\nURL:http://" + p.f[15].toUtf8() + "\r\n";
        vcf += "NOTE:" + p.f[16].toUtf8() + "\r\nEND:VCARD\r\n";

        abook += "[" + QByteArray::number(i) + "]\nname=" + full.toUtf8() + "\nemail=" + p.f[14].toUtf8()
            + "\naddress=" + p.f[4].toUtf8() + "\ncity=" + p.f[5].toUtf8() + "\nzip=" + p.f[6].toUtf8()
            + "\ncountry=" + p.f[7].toUtf8() + "\nphone=" + p.f[10].toUtf8() + "\nworkphone=" + p.f[11].toUtf8()
            + "\nfax=" + p.f[12].toUtf8() + "\nmobile=" + p.f[8].toUtf8() + "\nnick=" + p.f[13].toUtf8()
            + "\nurl=" + p.f[15].toUtf8() + "\nnotes=" + p.f[16].toUtf8() + "\n\n";
    }
    const bool ok = writeAll(folder + QStringLiteral("/contact.csv"), csv)
        && (n > 1000000
            || (writeAll(folder + QStringLiteral("/book.ldif"), ldif) && writeAll(folder + QStringLiteral("/book.vcf"), vcf)
                && writeAll(folder + QStringLiteral("/abook.data"), abook)));
    if (!ok) {
        std::fprintf(stderr, "cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
