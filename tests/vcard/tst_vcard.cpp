#include "support/TestSupport.h"

#include "store/AppError.h"
#include "vcard/Msvcard.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

#include <functional>

namespace {

// Every field of a card has a short name here, so that tests describe cards as lists of
// "name=value" items and compare whole cards at once. Attributes and EmailType are numbers;
// each "Comment=..." item is one comment line.
using Getter = std::function<QByteArray()>;
using Setter = std::function<void(const QByteArray &)>;

#define TEXT(name, obj, F) fn(name, [&] { return obj.F(); }, [&](const QByteArray &v) { obj.set##F(v); })
#define NUMBER(name, obj, F, Set)                                                                          \
    fn(name, [&] { return QByteArray::number(obj.F().toNumber()); },                                      \
       [&](const QByteArray &v) { obj.set##F(Set::fromNumber(v.toUInt())); })

template <typename Fn>
void visitFields(TmsVCard &c, Fn fn)
{
    TmsNameRec &n = c.Identification().Name();
    TEXT("FamilyName", n, FamilyName);
    TEXT("GivenName", n, GivenName);
    TEXT("AdditionalNames", n, AdditionalNames);
    TEXT("Prefix", n, Prefix);
    TEXT("Suffix", n, Suffix);
    TEXT("FormattedName", c.Identification(), FormattedName);
    for (int i : {1, 2}) {
        TmsAddressRec &a = i == 1 ? c.DeliveryInfo().Address1() : c.DeliveryInfo().Address2();
        const QByteArray p = "A" + QByteArray::number(i) + '.';
        NUMBER(p + "Attributes", a, Attributes, TmsAddressAttributes);
        TEXT(p + "POAddress", a, POAddress);
        TEXT(p + "ExtendedAddress", a, ExtendedAddress);
        TEXT(p + "Street", a, Street);
        TEXT(p + "Locality", a, Locality);
        TEXT(p + "Region", a, Region);
        TEXT(p + "PostalCode", a, PostalCode);
        TEXT(p + "Country", a, Country);
    }
    TmsTelecomInfo &t = c.TelecomInfo();
    for (TmsPhoneRec *ph : {&t.Phone1(), &t.Phone2(), &t.Phone3()}) {
        const QByteArray p = ph == &t.Phone1() ? "P1." : ph == &t.Phone2() ? "P2." : "P3.";
        NUMBER(p + "Attributes", (*ph), Attributes, TmsPhoneAttributes);
        TEXT(p + "Number", (*ph), Number);
    }
    for (TmsEmailRec *e : {&t.Email1(), &t.Email2()}) {
        const QByteArray p = e == &t.Email1() ? "E1." : "E2.";
        fn(p + "EmailType", [e] { return QByteArray::number(int(e->EmailType())); },
           [e](const QByteArray &v) { e->setEmailType(TmsEmailType(v.toInt())); });
        TEXT(p + "Address", (*e), Address);
    }
    TEXT("Company.Name", c.BusinessInfo().Company(), Name);
    TEXT("Company.AUnit", c.BusinessInfo().Company(), AUnit);
    TEXT("Title", c.BusinessInfo(), Title);
    TEXT("Role", c.BusinessInfo(), Role);
    TEXT("URL1", c.ExplanatoryInfo(), URL1);
    TEXT("URL2", c.ExplanatoryInfo(), URL2);
}
#undef TEXT
#undef NUMBER

// Sets the named fields of the card; "Comment=x" adds the comment line x.
void fill(TmsVCard &card, const QByteArrayList &items)
{
    for (const QByteArray &item : items) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray name = item.left(eq);
        const QByteArray value = item.mid(eq + 1);
        bool found = name == "Comment";
        if (found)
            card.ExplanatoryInfo().Comment().append(value);
        visitFields(card, [&](const QByteArray &n, const Getter &, const Setter &set) {
            if (n == name) {
                set(value);
                found = true;
            }
        });
        if (!found)
            qFatal("unknown field %s", name.constData());
    }
}

// Every field of the card, empty ones included, in a fixed order.
QByteArrayList dump(const TmsVCard &card)
{
    QByteArrayList out;
    visitFields(const_cast<TmsVCard &>(card),
                [&](const QByteArray &n, const Getter &get, const Setter &) { out.append(n + '=' + get()); });
    out.append("Comment lines=" + QByteArray::number(card.ExplanatoryInfo().Comment().size()));
    for (const QByteArray &line : card.ExplanatoryInfo().Comment())
        out.append("Comment=" + line);
    return out;
}

QByteArrayList dumpOf(const QByteArrayList &items)
{
    TmsVCard card;
    fill(card, items);
    return dump(card);
}

// The items in which two dumps differ, for readable failure messages.
QByteArrayList differences(const QByteArrayList &actual, const QByteArrayList &expected)
{
    QByteArrayList out;
    for (qsizetype i = 0; i < qMax(actual.size(), expected.size()); ++i) {
        const QByteArray a = actual.value(i), e = expected.value(i);
        if (a != e)
            out.append("got [" + a + "] want [" + e + "]");
    }
    return out;
}

#define COMPARE_CARD(card, expectedItems)                                                                   \
    do {                                                                                                    \
        const QByteArrayList diff_ = differences(dump(card), dumpOf(expectedItems));                         \
        if (!diff_.isEmpty())                                                                               \
            QFAIL(diff_.join("\n").constData());                                                            \
    } while (false)

QByteArray crlf(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

TmsVCard &loaded(TmsVCard &card, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    card.LoadFromStream(&buffer);
    return card;
}

// A card with something in every slot.
const QByteArrayList fullCard = {
    "FamilyName=Rossi", "GivenName=Anna", "AdditionalNames=Maria", "Prefix=Dott.", "Suffix=jr",
    "FormattedName=Anna Rossi",
    "A1.Attributes=16", "A1.POAddress=C.P. 4", "A1.ExtendedAddress=Scala B", "A1.Street=Via Roma 1",
    "A1.Locality=Milano", "A1.Region=MI", "A1.PostalCode=20100", "A1.Country=Italia",
    "A2.Attributes=33", "A2.Street=Corso Francia 2", "A2.Locality=Torino",
    "P1.Attributes=68", "P1.Number=333 1", "P2.Attributes=10", "P2.Number=02 2", "P3.Attributes=20", "P3.Number=02 3",
    "E1.EmailType=6", "E1.Address=anna@example.it", "E2.Address=rossi@example.com",
    "Company.Name=Rossi Srl", "Company.AUnit=Vendite", "Title=Direttrice", "Role=Acquisti",
    "Comment=Cliente dal 2010", "URL1=http://www.example.it:8080/a?b=c", "URL2=https://example.com",
};

} // namespace

class TestVCard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshAndClearedCardsAreEmpty();
    void assignCopiesDeeply();
    void assignFromAnotherClassFails_data();
    void assignFromAnotherClassFails();
    void settersCopyIntoOwnedObjects();
    void setsConvertToNumbers_data();
    void setsConvertToNumbers();

    void writer_data();
    void writer();
    void writesAtStreamPosition();
    void saveToFile();

    void reader_data();
    void reader();
    void lineEndsAndFrameDoNotMatter();
    void readerFileAndStream();
    void roundTrip_data();
    void roundTrip();

    void mends_data();
    void mends();
    void vcard21FromPhone();
    void vcard30FromMailProgram();
    void vcard40();
};

// --- Model ---------------------------------------------------------------------------------

void TestVCard::freshAndClearedCardsAreEmpty()
{
    TmsVCard fresh;
    QCOMPARE(dump(fresh), dumpOf({}));
    QCOMPARE(fresh.TelecomInfo().Email1().EmailType(), mseDefault);

    TmsVCard card;
    TmsPhoneRec *phone1 = &card.TelecomInfo().Phone1();
    TmsExplanatoryInfo *explanatory = &card.ExplanatoryInfo();
    fill(card, fullCard);
    card.ExplanatoryInfo().Comment().append("second line");
    QVERIFY(dump(card) != dump(fresh));
    card.Clear();
    QCOMPARE(dump(card), dump(fresh));
    QCOMPARE(&card.TelecomInfo().Phone1(), phone1);
    QCOMPARE(&card.ExplanatoryInfo(), explanatory);
}

void TestVCard::assignCopiesDeeply()
{
    TmsVCard source;
    fill(source, fullCard);
    TmsVCard copy;
    fill(copy, {"E2.EmailType=3", "Comment=old"});
    copy.Assign(&source);
    QCOMPARE(dump(copy), dumpOf(fullCard));

    // Nothing is shared: changing the source afterwards leaves the copy as it was.
    source.TelecomInfo().Phone1().setNumber("999");
    source.DeliveryInfo().Address1().setAttributes({msaWork});
    source.ExplanatoryInfo().Comment()[0] = "changed";
    source.ExplanatoryInfo().Comment().append("more");
    source.Clear();
    QCOMPARE(dump(copy), dumpOf(fullCard));
}

void TestVCard::assignFromAnotherClassFails_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("message");
    // 0 phone, 1 e-mail, 2 card, 3 none, 4 name, 5 company, 6 telecom group
    QTest::newRow("phone from e-mail") << 0 << 1 << "Impossibile assegnare TmsEmailRec a TmsPhoneRec";
    QTest::newRow("phone from none") << 0 << 3 << "Impossibile assegnare nil a TmsPhoneRec";
    QTest::newRow("card from phone") << 2 << 0 << "Impossibile assegnare TmsPhoneRec a TmsVCard";
    QTest::newRow("card from none") << 2 << 3 << "Impossibile assegnare nil a TmsVCard";
    QTest::newRow("name from company") << 4 << 5 << "Impossibile assegnare TmsCompanyRec a TmsNameRec";
    QTest::newRow("group from card") << 6 << 2 << "Impossibile assegnare TmsVCard a TmsTelecomInfo";
}

void TestVCard::assignFromAnotherClassFails()
{
    QFETCH(int, target);
    QFETCH(int, source);
    QFETCH(QString, message);

    TmsVCard card;
    fill(card, fullCard);
    TmsEmailRec email;
    email.setAddress("x@example.com");
    TmsCompanyRec company;
    company.setName("Altro");
    TmsVCard other;
    fill(other, {"GivenName=Other"});
    TmsPersistent *objects[] = {&card.TelecomInfo().Phone1(), &email, &other, nullptr,
                                &card.Identification().Name(), &company, &card.TelecomInfo()};

    try {
        objects[target]->Assign(objects[source]);
        QFAIL("no assignment error");
    } catch (const AppError &e) {
        QVERIFY(dynamic_cast<const EAssignError *>(&e));
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(dump(card), dumpOf(fullCard));
    QCOMPARE(dump(other), dumpOf({"GivenName=Other"}));
}

void TestVCard::settersCopyIntoOwnedObjects()
{
    TmsVCard card;
    const TmsPhoneRec *own = &card.TelecomInfo().Phone1();
    TmsPhoneRec phone;
    phone.setNumber("0123");
    phone.setAttributes(TmsPhoneAttributes::fromNumber(68));
    card.TelecomInfo().setPhone1(phone);
    phone.setNumber("changed");
    QCOMPARE(&card.TelecomInfo().Phone1(), own);
    QCOMPARE(card.TelecomInfo().Phone1().Number(), QByteArray("0123"));
    QCOMPARE(card.TelecomInfo().Phone1().Attributes().toNumber(), 68u);

    TmsExplanatoryInfo info;
    info.setComment({"a", "b"});
    card.setExplanatoryInfo(info);
    info.Comment()[0] = "changed";
    QCOMPARE(card.ExplanatoryInfo().Comment(), QByteArrayList({"a", "b"}));

    TmsVCard other;
    fill(other, fullCard);
    card.setTelecomInfo(other.TelecomInfo());
    QCOMPARE(&card.TelecomInfo().Phone1(), own);
    QCOMPARE(card.TelecomInfo().Email2().Address(), QByteArray("rossi@example.com"));
}

void TestVCard::setsConvertToNumbers_data()
{
    QTest::addColumn<uint>("number");
    QTest::addColumn<QList<int>>("members");
    QTest::addColumn<uint>("back");
    QTest::newRow("home and cellular") << 68u << QList<int>{mstHome, mstCellular} << 68u;
    QTest::newRow("work and cellular") << 66u << QList<int>{mstWork, mstCellular} << 66u;
    QTest::newRow("home and fax") << 20u << QList<int>{mstHome, mstFax} << 20u;
    QTest::newRow("empty") << 0u << QList<int>{} << 0u;
    QTest::newRow("all thirteen") << 8191u << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12} << 8191u;
    QTest::newRow("bits past the last member") << (8192u | 1u) << QList<int>{mstPreferred} << 1u;
}

void TestVCard::setsConvertToNumbers()
{
    QFETCH(uint, number);
    QFETCH(QList<int>, members);
    QFETCH(uint, back);
    const TmsPhoneAttributes set = TmsPhoneAttributes::fromNumber(number);
    QList<int> got;
    for (TmsPhoneType t : set.members())
        got.append(t);
    QCOMPARE(got, members);
    QCOMPARE(set.toNumber(), back);
    TmsPhoneAttributes built;
    for (int m : members)
        built.insert(TmsPhoneType(m));
    QVERIFY(built == set);
}

// --- Writer --------------------------------------------------------------------------------

void TestVCard::writer_data()
{
    QTest::addColumn<QByteArrayList>("items");
    QTest::addColumn<QByteArrayList>("lines");
    const QByteArrayList begin = {"BEGIN:VCARD", "VERSION:1.2"};
    auto card = [&](const QByteArrayList &middle) { return begin + middle + QByteArrayList{"END:VCARD"}; };

    QTest::newRow("empty card") << QByteArrayList{} << card({});
    QTest::newRow("given name only") << QByteArrayList{"GivenName=B"} << card({"N:;B;;;"});
    QTest::newRow("phone with types") << QByteArrayList{"P1.Attributes=68", "P1.Number=123"} << card({"TEL;HOME;CELL:123"});
    QTest::newRow("phone without types") << QByteArrayList{"P2.Number=123"} << card({"TEL:123"});
    QTest::newRow("phone without number") << QByteArrayList{"P1.Attributes=68"} << card({});
    QTest::newRow("default e-mail") << QByteArrayList{"E1.Address=E"} << card({"EMAIL;:E"});
    QTest::newRow("internet e-mail") << QByteArrayList{"E1.EmailType=6", "E1.Address=x@y"} << card({"EMAIL;INTERNET:x@y"});
    QTest::newRow("country only") << QByteArrayList{"A1.Country=X"} << card({"ADR:;;;;;;X"});
    QTest::newRow("address types without text") << QByteArrayList{"A1.Attributes=16"} << card({});
    QTest::newRow("address types in ordinal order") << QByteArrayList{"A2.Attributes=63", "A2.Street=S"}
                                                    << card({"ADR;DOM;INTL;POSTAL;PARCEL;HOME;WORK:;;S;;;;"});
    QTest::newRow("company without unit") << QByteArrayList{"Company.Name=A"} << card({"ORG:A;"});
    QTest::newRow("unit only") << QByteArrayList{"Company.AUnit=U"} << card({"ORG:;U"});
    QTest::newRow("blank formatted name") << QByteArrayList{"FormattedName= "} << card({"FN: "});
    QTest::newRow("two comment lines") << QByteArrayList{"Comment=a", "Comment=b"} << card({"NOTE:a", "  b"});
    QTest::newRow("empty first comment line") << QByteArrayList{"Comment="} << card({"NOTE:"});
    QTest::newRow("second url only") << QByteArrayList{"URL2=u"} << card({"URL:u"});
    QTest::newRow("ten-line example")
        << QByteArrayList{"FamilyName=A", "GivenName=B", "P1.Attributes=68", "P1.Number=123", "E1.Address=E",
                          "Company.Name=O", "Role=R", "Comment=first", "Comment=second"}
        << card({"N:A;B;;;", "TEL;HOME;CELL:123", "EMAIL;:E", "ORG:O;", "ROLE:R", "NOTE:first", "  second"});
    QTest::newRow("full card in fixed order")
        << fullCard
        << card({"FN:Anna Rossi", "N:Rossi;Anna;Maria;Dott.;jr",
                 "ADR;HOME:C.P. 4;Scala B;Via Roma 1;Milano;MI;20100;Italia", "ADR;DOM;WORK:;;Corso Francia 2;Torino;;;",
                 "TEL;HOME;CELL:333 1", "TEL;WORK;VOICE:02 2", "TEL;HOME;FAX:02 3", "EMAIL;INTERNET:anna@example.it",
                 "EMAIL;:rossi@example.com", "ORG:Rossi Srl;Vendite", "TITLE:Direttrice", "ROLE:Acquisti",
                 "NOTE:Cliente dal 2010", "URL:http://www.example.it:8080/a?b=c", "URL:https://example.com"});
    QTest::newRow("bytes as they stand, semicolon and backslash escaped")
        << QByteArrayList{"FamilyName=Citt\xe0 \x80", "Role=a\\;b", "URL1=u;v", "Comment=c\\", "Comment=d;"}
        << card({"N:Citt\xe0 \x80;;;;", "ROLE:a\\\\\\;b", "NOTE:c\\\\", "  d\\;", "URL:u\\;v"});
}

void TestVCard::writer()
{
    QFETCH(QByteArrayList, items);
    QFETCH(QByteArrayList, lines);
    TmsVCard card;
    fill(card, items);
    const QByteArrayList before = dump(card);
    QCOMPARE(card.SaveToBytes(), crlf(lines));
    QCOMPARE(dump(card), before);
    if (items.isEmpty())
        QCOMPARE(card.SaveToBytes().size(), 37);
}

void TestVCard::writesAtStreamPosition()
{
    TmsVCard first;
    fill(first, {"GivenName=Uno"});
    TmsVCard second;
    fill(second, {"GivenName=Due"});

    QBuffer buffer;
    buffer.setData(QByteArray(200, 'z'));
    buffer.open(QIODevice::ReadWrite);
    buffer.seek(5);
    first.SaveToStream(&buffer);
    second.SaveToStream(&buffer);
    const QByteArray one = first.SaveToBytes();
    const QByteArray two = second.SaveToBytes();
    QCOMPARE(buffer.pos(), 5 + one.size() + two.size());
    QCOMPARE(buffer.data(), QByteArray(5, 'z') + one + two + QByteArray(200 - 5 - one.size() - two.size(), 'z'));
    QCOMPARE(crlf({"BEGIN:VCARD", "VERSION:1.2", "N:;Uno;;;", "END:VCARD"}), one);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(AppError, first.SaveToStream(&readOnly));
}

void TestVCard::saveToFile()
{
    TestFolder folder;
    TmsVCard card;
    fill(card, {"GivenName=B", "Comment=first", "Comment=second"});
    // An existing, longer file is replaced, not overwritten in place.
    folder.write("1.vcf", QByteArray(500, 'x'));
    card.SaveToFile(folder.path("1.vcf"));
    card.SaveToFile(folder.path("2.vcf"));
    QCOMPARE(folder.read("1.vcf"), card.SaveToBytes());
    QCOMPARE(folder.read("2.vcf"), folder.read("1.vcf"));
    QCOMPARE(card.ExplanatoryInfo().Comment(), QByteArrayList({"first", "second"}));

    QVERIFY_THROWS_EXCEPTION(AppError, card.SaveToFile(folder.path("missing/1.vcf")));
    QVERIFY(!QFile::exists(folder.path("missing/1.vcf")));

    // A full disk: the old file stays whole.
    const QByteArray old = folder.read("1.vcf");
    TmsVCard big;
    fill(big, {"Comment=" + QByteArray(100000, 'n')});
    const QString path = folder.path("1.vcf");
    POSIX_ONLY(NO_FILE_SIZE_LIMIT_ON_WINDOWS);
    QCOMPARE(runWithFileSizeLimit(4096, [&] { big.SaveToFile(path); }), 1);
    QCOMPARE(folder.read("1.vcf"), old);
}

// --- Reader --------------------------------------------------------------------------------

void TestVCard::reader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("items");

    const QByteArray begin = "BEGIN:VCARD\r\nVERSION:1.2\r\n";
    const QByteArray end = "END:VCARD\r\n";
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    QTest::newRow("nothing known") << QByteArray(begin + "X-FOO:1\r\nPHOTO:abc\r\nVERSIONS:2\r\n" + end) << QByteArrayList{};
    QTest::newRow("letter case of names") << QByteArray("tel;home:123\r\nn:A;B\r\nEmAiL;internet:e\r\n")
                                         << QByteArrayList{"P1.Attributes=4", "P1.Number=123", "FamilyName=A", "GivenName=B",
                                                           "E1.EmailType=6", "E1.Address=e"};
    QTest::newRow("bare phone types") << QByteArray(begin + "TEL;WORK;VOICE:0123\r\n" + end)
                                      << QByteArrayList{"P1.Attributes=10", "P1.Number=0123"};
    QTest::newRow("fourth TEL ignored") << QByteArray(begin + "TEL:1\r\nTEL;FAX:2\r\nTEL:3\r\nTEL;CELL:4\r\n" + end)
                                        << QByteArrayList{"P1.Number=1", "P2.Attributes=16", "P2.Number=2", "P3.Number=3"};
    QTest::newRow("TEL without colon takes Phone1") << QByteArray(begin + "TEL;HOME\r\nTEL;CELL:5\r\n" + end)
                                                    << QByteArrayList{"P2.Attributes=64", "P2.Number=5"};
    QTest::newRow("one name value") << QByteArray("N:A\r\n") << QByteArrayList{"FamilyName=A"};
    QTest::newRow("N with empty parts") << QByteArray("N:A;B;;;\r\n") << QByteArrayList{"FamilyName=A", "GivenName=B"};
    QTest::newRow("N is not NOTE or NICKNAME") << QByteArray("NICKNAME:nick\r\nNOTE:nota\r\nN:Fam\r\n")
                                              << QByteArrayList{"FamilyName=Fam", "Comment=nota"};
    QTest::newRow("ADR with extra values") << QByteArray("ADR;WORK;PARCEL:1;2;3;4;5;6;7;8;9\r\n")
                                           << QByteArrayList{"A1.Attributes=40", "A1.POAddress=1", "A1.ExtendedAddress=2",
                                                             "A1.Street=3", "A1.Locality=4", "A1.Region=5",
                                                             "A1.PostalCode=6", "A1.Country=7"};
    QTest::newRow("second ADR") << QByteArray("ADR:;;a\r\nADR;HOME:;;b\r\nADR:;;c\r\n")
                                << QByteArrayList{"A1.Street=a", "A2.Attributes=16", "A2.Street=b"};
    QTest::newRow("NOTE with semicolons") << QByteArray("NOTE:a;b;;c\r\n")
                                          << QByteArrayList{"Comment=a", "Comment=b", "Comment=", "Comment=c"};
    QTest::newRow("unfolding with one space") << QByteArray(begin + "NOTE:first\r\n second  \r\n\tthird\r\nURL:u\r\n" + end)
                                              << QByteArrayList{"Comment=first second third", "URL1=u"};
    QTest::newRow("continuation is no property") << QByteArray("NOTE:x\r\n TEL:1\r\nTEL:2\r\n")
                                                 << QByteArrayList{"Comment=x TEL:1", "P1.Number=2"};
    QTest::newRow("empty line ends a property") << QByteArray("NOTE:x\r\n\r\n y\r\n") << QByteArrayList{"Comment=x"};
    QTest::newRow("title without role") << QByteArray("TITLE:T\r\n") << QByteArrayList{"Title=T"};
    QTest::newRow("one URL") << QByteArray("URL:u\r\n") << QByteArrayList{"URL1=u"};
    QTest::newRow("URL keeps colons") << QByteArray("URL:http://www.example.it:8080/a:b\r\nURL:x;y\r\nURLX:z\r\n")
                                      << QByteArrayList{"URL1=http://www.example.it:8080/a:b", "URL2=x"};
    QTest::newRow("e-mail types") << QByteArray(begin + "EMAIL:a\r\nEMAIL;AOL;INTERNET:b\r\n" + end)
                                  << QByteArrayList{"E1.Address=a", "E2.EmailType=6", "E2.Address=b"};
    QTest::newRow("e-mail with the writer's empty type") << QByteArray(begin + "EMAIL;:a\r\n" + end)
                                                         << QByteArrayList{"E1.Address=a"};
    QTest::newRow("ORG and ROLE") << QByteArray("ROLE:R\r\nORG:O;U;V\r\n")
                                  << QByteArrayList{"Company.Name=O", "Company.AUnit=U", "Role=R"};
    QTest::newRow("blanks after colon stay, trailing ones go") << QByteArray("FN:  Anna Rossi \t \r\n")
                                                               << QByteArrayList{"FormattedName=  Anna Rossi"};
    QTest::newRow("two cards read as one")
        << QByteArray(begin + "N:Uno;A\r\nTEL:1\r\n" + end + begin + "N:Due;B\r\nFN:Due\r\nTEL:2\r\nTEL:3\r\n" + end)
        << QByteArrayList{"FamilyName=Uno", "GivenName=A", "FormattedName=Due", "P1.Number=1", "P2.Number=2", "P3.Number=3"};
    QTest::newRow("NUL ends the text") << QByteArray("FN:a\r\nTITLE:t", 13) + QByteArray("\0\r\nROLE:r\r\n", 11)
                                       << QByteArrayList{"FormattedName=a", "Title=t"};
    // This program's own cards are read literally: bytes that happen to look like UTF-8,
    // quoted-printable or escapes, and lines with a group, stay as they are.
    QTest::newRow("own card read literally")
        << QByteArray(begin + "FN:Nicol\xc3\xb2\r\nN:a\\;b;c\\,d\\\\e\\\r\nTEL;TYPE=WORK:0123\r\nitem1.TEL:9\r\n"
                              "NOTE;ENCODING=QUOTED-PRINTABLE:x=3Dy=\r\nTEL:8\r\n" + end)
        << QByteArrayList{"FormattedName=Nicol\xc3\xb2", "FamilyName=a;b", "GivenName=c\\,d\\e\\",
                          "P1.Number=0123", "P2.Number=8", "Comment=x=3Dy="};
}

void TestVCard::reader()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, items);
    TmsVCard card;
    fill(card, fullCard); // loading replaces everything
    COMPARE_CARD(loaded(card, text), items);
}

void TestVCard::lineEndsAndFrameDoNotMatter()
{
    const QByteArrayList lines = {"BEGIN:VCARD", "VERSION:1.2", "N:Rossi;Anna", "TEL;HOME;CELL:333",
                                  "NOTE:uno", "  due", "URL:u", "END:VCARD"};
    const QByteArrayList items = {"FamilyName=Rossi", "GivenName=Anna", "P1.Attributes=68", "P1.Number=333",
                                  "Comment=uno due", "URL1=u"};
    for (const char *end : {"\r\n", "\n", "\r"}) {
        TmsVCard card;
        COMPARE_CARD(loaded(card, lines.join(end)), items);
        COMPARE_CARD(loaded(card, lines.join(end) + end), items);
        COMPARE_CARD(loaded(card, lines.mid(2, 5).join(end)), items);
    }
}

void TestVCard::readerFileAndStream()
{
    TestFolder folder;
    TmsVCard card;
    fill(card, fullCard);
    QVERIFY_THROWS_EXCEPTION(AppError, card.LoadFromFile(folder.path("missing.vcf")));
    QCOMPARE(dump(card), dumpOf(fullCard));

    folder.write("a.vcf", "BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\n");
    card.LoadFromFile(folder.path("a.vcf"));
    COMPARE_CARD(card, QByteArrayList({"FamilyName=A", "GivenName=B"}));

    // The stream is read from its beginning, wherever it stands.
    QBuffer buffer;
    buffer.setData("TEL:1\r\nTEL:2\r\n");
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(7);
    card.LoadFromStream(&buffer);
    COMPARE_CARD(card, QByteArrayList({"P1.Number=1", "P2.Number=2"}));

    // A group's own LoadFromLines takes the lines it reads out of the caller's list.
    QByteArrayList lines = {"TEL:1", "EMAIL:e", "TEL:2", "FN:f"};
    card.TelecomInfo().LoadFromLines(lines);
    QCOMPARE(lines, QByteArrayList({"FN:f"}));
}

void TestVCard::roundTrip_data()
{
    QTest::addColumn<QByteArrayList>("items");
    QTest::addColumn<QByteArrayList>("back");
    QTest::newRow("full card") << fullCard << fullCard;
    QTest::newRow("comment lines joined") << QByteArrayList{"Comment=first", "Comment=second", "Comment=third"}
                                          << QByteArrayList{"Comment=first second third"};
    QTest::newRow("blank comment line vanishes") << QByteArrayList{"Comment=a", "Comment=  ", "Comment=b"}
                                                 << QByteArrayList{"Comment=a b"};
    QTest::newRow("empty first comment line") << QByteArrayList{"Comment=", "Comment=x"} << QByteArrayList{"Comment= x"};
    const QByteArrayList semicolons = {"FamilyName=C:\\dati\\", "GivenName=a;b", "Prefix=p", "P1.Number=1;2",
                                       "Comment=a;b\\;", "Role=x\\;y", "A1.Street=Corso Italia 5; scala B",
                                       "A1.Locality=Roma", "Company.Name=\\", "Company.AUnit=;"};
    QTest::newRow("semicolons and backslashes kept") << semicolons << semicolons;
    QTest::newRow("trailing blanks lost") << QByteArrayList{"URL1=u  ", "FamilyName=f "}
                                          << QByteArrayList{"URL1=u", "FamilyName=f "};
    QTest::newRow("slots filled from the front")
        << QByteArrayList{"P2.Number=2", "A2.Street=s", "E2.Address=e", "URL2=u"}
        << QByteArrayList{"P1.Number=2", "A1.Street=s", "E1.Address=e", "URL1=u"};
    QTest::newRow("types without text lost") << QByteArrayList{"P1.Attributes=68", "A1.Attributes=16", "E1.EmailType=6"}
                                             << QByteArrayList{};
    const QByteArray longText = QByteArray("x").repeated(9000) + ' ' + QByteArray("y").repeated(5000);
    QTest::newRow("long values kept whole") << QByteArrayList{"FamilyName=" + longText, "Comment=" + longText}
                                            << QByteArrayList{"FamilyName=" + longText, "Comment=" + longText};
    QTest::newRow("Windows-1252 text kept") << QByteArrayList{"FamilyName=Nicol\xc3\xb2", "Role=\x80 \\n \\;"}
                                            << QByteArrayList{"FamilyName=Nicol\xc3\xb2", "Role=\x80 \\n \\;"};
}

void TestVCard::roundTrip()
{
    QFETCH(QByteArrayList, items);
    QFETCH(QByteArrayList, back);
    TmsVCard card;
    fill(card, items);
    TmsVCard read;
    COMPARE_CARD(loaded(read, card.SaveToBytes()), back);
}

// --- Readings of other programs' cards -------------------------------------------------------

void TestVCard::mends_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("items");
    const QByteArray v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    const QByteArray v30 = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    const QByteArray v40 = "BEGIN:VCARD\nVERSION:4.0\n";

    QTest::newRow("TYPE list") << QByteArray(v30 + "TEL;TYPE=WORK,VOICE:1\r\n") << QByteArrayList{"P1.Attributes=10", "P1.Number=1"};
    QTest::newRow("quoted TYPE list") << QByteArray(v40 + "TEL;TYPE=\"work,voice\":1\n") << QByteArrayList{"P1.Attributes=10", "P1.Number=1"};
    QTest::newRow("repeated TYPE") << QByteArray(v30 + "TEL;type=WORK;type=VOICE:1\r\n") << QByteArrayList{"P1.Attributes=10", "P1.Number=1"};
    QTest::newRow("TYPE without version") << QByteArray("TEL;Type=cell:1\r\n") << QByteArrayList{"P1.Attributes=64", "P1.Number=1"};
    QTest::newRow("e-mail TYPE") << QByteArray(v30 + "EMAIL;TYPE=INTERNET:x\r\n") << QByteArrayList{"E1.EmailType=6", "E1.Address=x"};
    QTest::newRow("names and types match whole, any letter case")
        << QByteArray(v30 + "TELEPHONE:9\r\nTE:8\r\nEMAILS:x\r\nTel;HOMEX;Hom;vOiCe:1\r\nEMAIL;TYPE=applelink:a\r\n"
                            "EMAIL;INTERNETX;Cis:b\r\n")
        << QByteArrayList{"P1.Attributes=8", "P1.Number=1", "E1.EmailType=2", "E1.Address=a", "E2.EmailType=4",
                          "E2.Address=b"};
    QTest::newRow("address TYPE") << QByteArray(v30 + "ADR;TYPE=home,postal:;;Via\r\n") << QByteArrayList{"A1.Attributes=20", "A1.Street=Via"};
    QTest::newRow("tel URI") << QByteArray(v40 + "TEL;VALUE=uri;TYPE=cell:tel:+39-333-1\n")
                             << QByteArrayList{"P1.Attributes=64", "P1.Number=+39-333-1"};
    QTest::newRow("quoted colon and semicolon")
        << QByteArray(v40 + "ADR;LABEL=\"Via Roma 1; Milano: IT\";TYPE=work:;;Via Roma 1;Milano\n")
        << QByteArrayList{"A1.Attributes=32", "A1.Street=Via Roma 1", "A1.Locality=Milano"};
    QTest::newRow("groups") << QByteArray(v30 + "item1.EMAIL:a@b\r\nitem1.X-ABLabel:x\r\nA-2.TEL:1\r\n")
                            << QByteArrayList{"E1.Address=a@b", "P1.Number=1"};
    QTest::newRow("3.0 unfolding") << QByteArray(v30 + "FN:car\r\n atteri\r\nNOTE:Gian \r\n Luca\r\n")
                                   << QByteArrayList{"FormattedName=caratteri", "Comment=Gian Luca"};
    QTest::newRow("4.0 unfolding with tab") << QByteArray(v40 + "N:Ros\n\tsi;An\n na\n") << QByteArrayList{"FamilyName=Rossi", "GivenName=Anna"};
    QByteArray folded = v30 + "NOTE:";
    QByteArray note;
    for (int i = 0; i < 200; ++i) {
        const QByteArray piece = QByteArray::number(i).rightJustified(74, '.');
        folded += (i ? " " : "") + piece + "\r\n";
        note += piece;
    }
    QTest::newRow("3.0 long folded note") << folded << QByteArrayList{"Comment=" + note};
    QTest::newRow("2.1 unfolds with one blank") << QByteArray(v21 + "NOTE:car\r\n atteri\r\n")
                                                << QByteArrayList{"Comment=car atteri"};
    QTest::newRow("3.0 escapes") << QByteArray(v30 + "FN:a\\,b\\;c\\:d\\\\e\\x\r\nORG:Rossi\\; Bianchi;Unit\\\r\n")
                                 << QByteArrayList{"FormattedName=a,b;c:d\\ex", "Company.Name=Rossi; Bianchi", "Company.AUnit=Unit\\"};
    QTest::newRow("3.0 line breaks") << QByteArray(v30 + "NOTE:uno\\ndue\\Ntre;quattro\r\nFN:Anna\\nRossi\r\n")
                                     << QByteArrayList{"Comment=uno", "Comment=due", "Comment=tre", "Comment=quattro",
                                                       "FormattedName=Anna Rossi"};
    QTest::newRow("2.1 escaped semicolon") << QByteArray(v21 + "N:Rossi\\;Bianchi;Anna\r\nNOTE:C:\\dati\\n\\\\;x\r\n")
                                           << QByteArrayList{"FamilyName=Rossi;Bianchi", "GivenName=Anna",
                                                             "Comment=C:\\dati\\n\\;x"};
    QTest::newRow("other versions: escaped semicolon only") << QByteArray("VERSION:2.0\r\nN:a\\;b\\\\c;d\r\n")
                                                          << QByteArrayList{"FamilyName=a;b\\\\c", "GivenName=d"};
    QTest::newRow("quoted-printable line breaks")
        << QByteArray(v21 + "FN;ENCODING=QUOTED-PRINTABLE:Anna=0D=0ARossi=0D=0D=0Ax\r\n"
                            "NOTE;QUOTED-PRINTABLE:a=0Db=0A=0Ac=00d=3D=3B=3b=ZZ\r\n")
        << QByteArrayList{"FormattedName=Anna Rossi  x", "Comment=a", "Comment=b", "Comment=", "Comment=c d=;;=ZZ"};
    QTest::newRow("quoted-printable soft breaks")
        << QByteArray(v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:uno=\r\n due=  \r\nTEL:3=\r\n\r\nTEL:4\r\n")
        << QByteArrayList{"Comment=uno dueTEL:3", "P1.Number=4"};
    QTest::newRow("soft break never takes BEGIN or END")
        << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:uno=\r\n  End:VCARD\r\n"
                      "FN;QUOTED-PRINTABLE:due=\r\nbegin:vcard\r\nTEL:1\r\n")
        << QByteArrayList{"Comment=uno", "FormattedName=due", "P1.Number=1"};
    // Only the slots a record has are split off: a note keeps the rest in its seventh line.
    QTest::newRow("values beyond the slots")
        << QByteArray(v30 + "N:a;b;c;d;e;f;g\r\nNOTE:1;2;3;4;5;6;7\\;x;8;9\r\nTEL;" + QByteArray("X;").repeated(100)
                      + "HOME:5;6\r\nTEL;TYPE=" + QByteArray("X,").repeated(100) + "HOME:7\r\n")
        << QByteArrayList{"FamilyName=a", "GivenName=b", "AdditionalNames=c", "Prefix=d", "Suffix=e", "Comment=1",
                          "Comment=2", "Comment=3", "Comment=4", "Comment=5", "Comment=6", "Comment=7;x;8;9",
                          "P1.Number=5", "P2.Number=7"};
    QTest::newRow("soft break at end of file") << QByteArray(v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:fine=")
                                               << QByteArrayList{"Comment=fine"};
    QTest::newRow("soft break only for quoted-printable") << QByteArray(v21 + "NOTE:a=\r\nTEL:1\r\n")
                                                          << QByteArrayList{"Comment=a=", "P1.Number=1"};
    QTest::newRow("UTF-8 said or not") << QByteArray(v21 + "FN:Nicol\xc3\xb2\r\nN;CHARSET=UTF-8:Citt\xc3\xa0\r\n")
                                       << QByteArrayList{"FormattedName=Nicol\xf2", "FamilyName=Citt\xe0"};
    QTest::newRow("Windows-1252 bytes kept") << QByteArray(v21 + "FN:Citt\xe0\r\nN;CHARSET=UTF-8:Nicol\xf2\r\n")
                                             << QByteArrayList{"FormattedName=Citt\xe0", "FamilyName=Nicol\xf2"};
    QTest::newRow("other charset kept") << QByteArray(v21 + "FN;CHARSET=ISO-8859-1:\xc3\xa0\r\n")
                                        << QByteArrayList{"FormattedName=\xc3\xa0"};
    // Letters outside Windows-1252 become the nearest letters it holds; accents written as
    // marks of their own join their letters first.
    QTest::newRow("no Windows-1252 character")
        << QByteArray(v40 + "FN:\xc5\x81ukasz Dvo\xc5\x99\xc3\xa1k \xe2\x82\xac \xf0\x9f\x98\x80\n"
                            "N:\xc8\x98" "erban \xc4\x9f \xc4\xb1 \xc7\x98 \xef\xac\x81 \xe2\x80\x90;Dvor\xcc\x8c" "a\xcc\x81k\n")
        << QByteArrayList{"FormattedName=Lukasz Dvor\xe1k \x80 ?", "FamilyName=Serban g i \xfc fi -",
                          "GivenName=Dvor\xe1k"};
}

void TestVCard::mends()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, items);
    TmsVCard card;
    COMPARE_CARD(loaded(card, text), items);
}

void TestVCard::vcard21FromPhone()
{
    const QByteArray text =
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Nicol=C3=B2;Ren=C3=A9e;;;\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Ren=C3=A9e Nicol=C3=B2\r\n"
        "TEL;CELL;PREF:+39 333 1234567\r\n"
        "TEL;HOME;VOICE:02 1234567\r\n"
        "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Via Roma 1=3B scala B;Citt=C3=A0 Studi;;20100;Italia\r\n"
        "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Chiamare dopo le 18.=0D=0AUfficio in via Verdi, =\r\n"
        "TEL: 02 7654321 (centralino)=0D=0A=\r\n"
        " interno 12, chiedere di Jos=C3=A9\r\n"
        "EMAIL;PREF;INTERNET:renee.nicolo@example.it\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\r\n"
        " /2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIsIxwc\r\n"
        "\r\n"
        "END:VCARD\r\n";
    TmsVCard card;
    COMPARE_CARD(loaded(card, text),
                 QByteArrayList({"FamilyName=Nicol\xf2", "GivenName=Ren\xe9" "e", "FormattedName=Ren\xe9" "e Nicol\xf2",
                                 "P1.Attributes=65", "P1.Number=+39 333 1234567", "P2.Attributes=12",
                                 "P2.Number=02 1234567", "A1.Attributes=16", "A1.Street=Via Roma 1; scala B",
                                 "A1.Locality=Citt\xe0 Studi", "A1.PostalCode=20100", "A1.Country=Italia",
                                 "Comment=Chiamare dopo le 18.",
                                 "Comment=Ufficio in via Verdi, TEL: 02 7654321 (centralino)",
                                 "Comment= interno 12, chiedere di Jos\xe9", "E1.EmailType=6",
                                 "E1.Address=renee.nicolo@example.it"}));
}

void TestVCard::vcard30FromMailProgram()
{
    const QByteArray text =
        "BEGIN:VCARD\r\n"
        "VERSION:3.0\r\n"
        "PRODID:-//Apple Inc.//iPhone OS 17.5//EN\r\n"
        "N:Bianchi;Gian Luca;;Dott.;\r\n"
        "FN:Dott. Gian Luca Bianchi\r\n"
        "ORG:Bianchi\\, Rossi & C.;Vendite\r\n"
        "TITLE:Responsabile qualit\xc3\xa0\r\n"
        "item1.EMAIL;type=INTERNET;type=pref:gianluca.bianchi@example.it\r\n"
        "item1.X-ABLabel:_$!<Other>!$_\r\n"
        "TEL;type=CELL;type=VOICE;type=pref:+39 347 1234567\r\n"
        "TEL;TYPE=WORK,VOICE:02 7654321\r\n"
        "item2.ADR;type=HOME;type=pref:;;Via Garibaldi 12\\nScala A;Torino;TO;10122;Italia\r\n"
        "item2.X-ABADR:it\r\n"
        "NOTE:Conosciuto alla fiera di Milano\\, chiede il listino 2024. Richiamar\r\n"
        " e a settembre.\\nSegretaria: Anna Verdi\\; interno 12\r\n"
        "item3.URL;type=pref:https://www.example.it/contatti?id=7\r\n"
        "item3.X-ABLabel:_$!<HomePage>!$_\r\n"
        "END:VCARD\r\n";
    TmsVCard card;
    COMPARE_CARD(loaded(card, text),
                 QByteArrayList({"FamilyName=Bianchi", "GivenName=Gian Luca", "Prefix=Dott.",
                                 "FormattedName=Dott. Gian Luca Bianchi", "Company.Name=Bianchi, Rossi & C.",
                                 "Company.AUnit=Vendite", "Title=Responsabile qualit\xe0", "E1.EmailType=6",
                                 "E1.Address=gianluca.bianchi@example.it", "P1.Attributes=73",
                                 "P1.Number=+39 347 1234567", "P2.Attributes=10", "P2.Number=02 7654321",
                                 "A1.Attributes=16", "A1.Street=Via Garibaldi 12 Scala A", "A1.Locality=Torino",
                                 "A1.Region=TO", "A1.PostalCode=10122", "A1.Country=Italia",
                                 "Comment=Conosciuto alla fiera di Milano, chiede il listino 2024. Richiamare a settembre.",
                                 "Comment=Segretaria: Anna Verdi; interno 12",
                                 "URL1=https://www.example.it/contatti?id=7"}));
}

void TestVCard::vcard40()
{
    const QByteArray text =
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "FN:Zo\xc3\xab M\xc3\xbcller\r\n"
        "N:M\xc3\xbcller;Zo\xc3\xab;;;\r\n"
        "TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+39-333-1\r\n"
        "TEL;VALUE=uri;TYPE=cell:tel:+39-347-2;ext=5\r\n"
        "ADR;TYPE=work;LABEL=\"Via Roma 1; 20100 Milano: Italia\":;;Via Roma 1;Milano;;20100;Italia\r\n"
        "EMAIL;TYPE=work:zoe.muller@example.com\r\n"
        "NOTE:Prezzo: 100 \xe2\x82\xac al mese. Referente: \xc5\x81ukasz\r\n"
        "END:VCARD\r\n";
    TmsVCard card;
    COMPARE_CARD(loaded(card, text),
                 QByteArrayList({"FormattedName=Zo\xeb M\xfcller", "FamilyName=M\xfcller", "GivenName=Zo\xeb",
                                 "P1.Attributes=10", "P1.Number=+39-333-1", "P2.Attributes=64", "P2.Number=+39-347-2",
                                 "A1.Attributes=32", "A1.Street=Via Roma 1", "A1.Locality=Milano",
                                 "A1.PostalCode=20100", "A1.Country=Italia", "E1.Address=zoe.muller@example.com",
                                 "Comment=Prezzo: 100 \x80 al mese. Referente: Lukasz"}));
}

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
