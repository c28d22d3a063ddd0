#pragma once

// The records of a business card, the groups that hold them, the type sets of addresses
// and telephones, and the parser that reads one vCard property at a time.

#include "store/AppError.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QVarLengthArray>

#include <array>
#include <initializer_list>

// ---------------------------------------------------------------------------------------
// Enumerations and their vCard parameter names (indexed by the member's ordinal).

enum TmsAddressType : quint8 {
    msaDomestic, msaInternational, msaPostal, msaParcel, msaHome, msaWork,
};

enum TmsPhoneType : quint8 {
    mstPreferred, mstWork, mstHome, mstVoice, mstFax, mstMessaging, mstCellular,
    mstPager, mstBBS, mstModem, mstCar, mstISDN, mstVideo,
};

enum TmsEmailType : quint8 {
    mseDefault, mseAOL, mseAppleLink, mseATTMail, mseCompuserve, mseeWorld, mseInternet,
    mseIBM, mseMCI, msePowerShare, mseProdigy, mseTelex, mseX400,
};

inline constexpr std::array<const char *, 6> AddressTypeNames = {
    "DOM", "INTL", "POSTAL", "PARCEL", "HOME", "WORK",
};

inline constexpr std::array<const char *, 13> PhoneTypeNames = {
    "PREF", "WORK", "HOME", "VOICE", "FAX", "MSG", "CELL", "PAGER", "BBS", "MODEM", "CAR",
    "ISDN", "VIDEO",
};

// The default type has an empty name: the writer puts an empty parameter for it.
inline constexpr std::array<const char *, 13> EmailTypeNames = {
    "", "AOL", "APPLELINK", "ATTMAIL", "CIS", "EWORLD", "INTERNET", "IBMMAIL", "MCIMAIL",
    "POWERSHARE", "PRODIGY", "TLX", "X400",
};

// A set of enumeration members. As a number, bit n stands for the member of ordinal n,
// so the telephone set 68 is {mstHome, mstCellular}.
template <typename Enum, int Count>
class TmsSet
{
    static_assert(Count > 0 && Count <= 32);

public:
    static constexpr int MemberCount = Count;

    constexpr TmsSet() = default;
    constexpr TmsSet(std::initializer_list<Enum> members)
    {
        for (Enum m : members)
            insert(m);
    }

    // Bits above the last member are dropped: they stand for no member.
    static constexpr TmsSet fromNumber(quint32 number)
    {
        TmsSet s;
        s.m_bits = number & allBits();
        return s;
    }
    constexpr quint32 toNumber() const { return m_bits; }

    constexpr bool contains(Enum m) const { return (m_bits >> int(m)) & 1u; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr TmsSet &insert(Enum m)
    {
        if (int(m) >= 0 && int(m) < Count)
            m_bits |= 1u << int(m);
        return *this;
    }
    constexpr TmsSet &remove(Enum m)
    {
        if (int(m) >= 0 && int(m) < Count)
            m_bits &= ~(1u << int(m));
        return *this;
    }
    constexpr void clear() { m_bits = 0; }

    // The members in ascending ordinal order.
    QList<Enum> members() const
    {
        QList<Enum> out;
        for (int i = 0; i < Count; ++i) {
            if (contains(Enum(i)))
                out.append(Enum(i));
        }
        return out;
    }

    friend constexpr bool operator==(TmsSet a, TmsSet b) = default;

private:
    static constexpr quint32 allBits() { return Count == 32 ? ~0u : (1u << Count) - 1u; }
    quint32 m_bits = 0;
};

using TmsAddressAttributes = TmsSet<TmsAddressType, 6>;
using TmsPhoneAttributes = TmsSet<TmsPhoneType, 13>;

// ---------------------------------------------------------------------------------------
// Assignment between objects of the card.

// Raised when an object is assigned from one of another class, or from none.
class EAssignError : public AppError
{
public:
    EAssignError(const char *sourceClass, const char *targetClass);
};

// The common base of the card, its groups and records: objects with an identity (never
// copied by value) whose content is copied with Assign.
class TmsPersistent
{
public:
    TmsPersistent() = default;
    TmsPersistent(const TmsPersistent &) = delete;
    TmsPersistent &operator=(const TmsPersistent &) = delete;
    virtual ~TmsPersistent() = default;

    // Copies the content of `source` into this object. This base copies nothing and
    // raises EAssignError; each class accepts sources of its own class.
    virtual void Assign(const TmsPersistent *source);

    virtual const char *ClassName() const = 0;

protected:
    [[noreturn]] void AssignError(const TmsPersistent *source) const;
};

// ---------------------------------------------------------------------------------------
// The property parser.

// How a card's text is to be read, chosen by its VERSION line. Cards of version 1.2 are the
// ones this program writes: they are read literally, but for "\;" (a semicolon inside a
// value) and "\\" (a backslash), the two escapes its writer makes. Every other card gets
// the readings that phones and mail programs need: TYPE= parameters, groups,
// quoted-printable text, UTF-8 values, "\;" inside a value; 3.0 / 4.0 add their own escapes
// and their own folding.
enum class TmsCardDialect {
    Own,     // VERSION:1.2
    Other,   // no VERSION line, or a version not named below
    V21,     // VERSION:2.1
    V3,      // VERSION:3.0 or VERSION:4.0
};

// The properties of one card's text, found in one pass over it: each record then takes the
// property it reads from here instead of searching the text again. Only the properties
// named at construction are kept, as views into the text, so lines of other kinds cost
// nothing. A NUL byte ends the text. The text must outlive the pool.
class TmsPropertyPool
{
public:
    // The properties the card's records read.
    static const QByteArrayList &CardNames();

    // With `lendText`, the values read from the pool that need no decoding are the text's
    // own bytes, not copies: a card read from it must be cleared before the text goes away.
    // An import that copies a card out at once saves a copy of every value this way.
    explicit TmsPropertyPool(QByteArrayView text, const QByteArrayList &names = CardNames(), bool lendText = false);

    // How the text is read, from its first VERSION line.
    TmsCardDialect Dialect() const { return m_dialect; }
    bool LendsText() const { return m_lendText; }
    // Whether a property of this name is left to take.
    bool Holds(QByteArrayView name);
    // The unfolded text of the first property of this name not yet taken (its line and its
    // continuation lines), and the property counts as taken; false, and `text` empty, when
    // none is left or the name was not asked for at construction. The text is the pool's
    // own bytes, not a copy: it is good only as long as the pool.
    bool Take(QByteArrayView name, QByteArray &text);

    // Which values of the property taken last had letters changed into the nearest ones
    // Windows-1252 holds (bit k: value k); the parser says so as it decodes them.
    void NoteApproximated(quint64 values);
    // The same for the n-th property of this name taken (0: the first), 0 when none.
    quint64 Approximated(QByteArrayView name, int n = 0) const;
    // Whether any property taken so far had such values.
    bool AnyApproximated() const { return !m_changed.isEmpty(); }

private:
    int nameIndex(QByteArrayView name) const;

    struct Found
    {
        int name;
        bool folded; // continuation lines follow the first
        QByteArrayView lines;
        qsizetype next; // the next property of the same name, or -1
    };
    QByteArrayList m_names;
    QVarLengthArray<quint64, 16> m_keys;   // per name, its upper-case letters as one number
    static constexpr int Slots = 64;
    std::array<quint8, Slots> m_slots;     // a hash table of the keys: 1 + a name's index, or 0
    QVarLengthArray<Found, 32> m_found;    // in the order of the text
    QVarLengthArray<qsizetype, 16> m_next; // per name, its first property not yet taken, or -1
    QVarLengthArray<int, 16> m_taken;      // per name, how many were taken
    struct Changed
    {
        int name;
        int n;
        quint64 values;
    };
    QVarLengthArray<Changed, 4> m_changed; // the properties with approximated values
    int m_lastName = -1;
    QByteArrayList m_store;   // texts of properties whose lines were joined
    TmsCardDialect m_dialect = TmsCardDialect::Other;
    bool m_lendText = false;
};

// Reads one property at a time, either out of a pool of lines, removing the lines it takes
// so that the next search for the same property finds the next occurrence, or out of a
// TmsPropertyPool, which does the same without searching.
class TmsPropertyParser
{
public:
    TmsPropertyParser() = default;

    // The lines being searched; not owned. The lines of each extracted property are removed.
    QByteArrayList *Lines() const { return m_lines; }
    void setLines(QByteArrayList *lines) { m_lines = lines; }
    // Reads from a card's property pool instead of Lines; not owned.
    TmsPropertyPool *Pool() const { return m_pool; }
    void setPool(TmsPropertyPool *pool) { m_pool = pool; }

    // The property to look for, such as "TEL" (a trailing colon is ignored).
    const QByteArray &PropName() const { return m_propName; }
    void setPropName(const QByteArray &name) { m_propName = name; }
    // How many values the reader has slots for (0: all). Splitting stops there, so that a
    // line of millions of semicolons costs no more than the values kept: what follows the
    // last slot is dropped, or with `keepRest` left whole in the last value.
    void setValueSlots(qsizetype slotCount, bool keepRest = false)
    {
        m_slots = slotCount;
        m_keepRest = keepRest;
    }

    // The property's name as written in the file, then its parameters. In cards of other
    // programs the values of a TYPE= parameter are given here one by one as bare items;
    // they are PropText's own bytes and last as long as it does.
    const QByteArrayList &Params() const { return m_params; }
    // The property's values. In cards of other programs they are decoded: escapes,
    // quoted-printable and UTF-8 are resolved, and every line break is one LF. Read from a
    // pool that lends its text, they may be that text's own bytes.
    const QByteArrayList &Values() const { return m_values; }
    // The unfolded text of the property found by the last ExtractProperty; read from a
    // pool, it lasts only as long as the pool.
    const QByteArray &PropText() const { return m_propText; }
    void setPropText(const QByteArray &text) { m_propText = text; }

    // How the lines are read, from the first VERSION line among them.
    TmsCardDialect Dialect() const { return m_dialect; }
    static TmsCardDialect DialectOf(const QByteArrayList &lines);

    // The index of the first of Lines holding the property, or -1.
    qsizetype FindProperty() const;
    // Takes the property's line and its continuation lines out of Lines (or the pool) into
    // PropText.
    void ExtractProperty();
    // Empties `list`, then adds the pieces of `text` between semicolons (n semicolons
    // always give n+1 pieces).
    static void SplitFields(QByteArrayView text, QByteArrayList &list);
    // Splits PropText at its first colon into Params and Values.
    void SplitProperty();
    // ExtractProperty, then SplitProperty.
    void Parse();

    // Value k on one line (a line break becomes a blank); empty when there is no value k.
    QByteArray Value(qsizetype k) const;
    // Value k cut at its line breaks; no lines when there is no value k.
    QByteArrayList ValueLines(qsizetype k) const;

    // Cuts a card's text into lines: CR LF, CR and LF each end a line. In cards of other
    // programs the soft line breaks of quoted-printable properties are joined here, before
    // any property is looked for, so that a continuation never passes for a property; a
    // soft break never reaches over a BEGIN: or END: line.
    static QByteArrayList TextToLines(QByteArrayView text);

private:
    QByteArrayList *m_lines = nullptr;
    TmsPropertyPool *m_pool = nullptr;
    QByteArray m_propName;
    QByteArrayList m_params;
    QByteArrayList m_values;
    QByteArray m_propText;
    qsizetype m_slots = 0;
    bool m_keepRest = false;
    bool m_valueBreaks = true; // whether a value may hold a line break
    TmsCardDialect m_dialect = TmsCardDialect::Own;
};

// ---------------------------------------------------------------------------------------
// Records. LoadFromLines reads a record from a list of lines, taking out the lines it
// reads; LoadFrom does the same with a parser's lines or pool. A record clears what it is
// about to fill first, but a telephone or an e-mail address leaves that to its group.

// vCard N: the structured name.
class TmsNameRec : public TmsPersistent
{
public:
    const QByteArray &FamilyName() const { return m_familyName; }
    void setFamilyName(const QByteArray &v) { m_familyName = v; }
    const QByteArray &GivenName() const { return m_givenName; }
    void setGivenName(const QByteArray &v) { m_givenName = v; }
    const QByteArray &AdditionalNames() const { return m_additionalNames; }
    void setAdditionalNames(const QByteArray &v) { m_additionalNames = v; }
    const QByteArray &Prefix() const { return m_prefix; }
    void setPrefix(const QByteArray &v) { m_prefix = v; }
    const QByteArray &Suffix() const { return m_suffix; }
    void setSuffix(const QByteArray &v) { m_suffix = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsNameRec"; }

private:
    QByteArray m_familyName, m_givenName, m_additionalNames, m_prefix, m_suffix;
};

// vCard ADR: one postal address.
class TmsAddressRec : public TmsPersistent
{
public:
    TmsAddressAttributes Attributes() const { return m_attributes; }
    void setAttributes(TmsAddressAttributes v) { m_attributes = v; }
    const QByteArray &POAddress() const { return m_poAddress; }
    void setPOAddress(const QByteArray &v) { m_poAddress = v; }
    const QByteArray &ExtendedAddress() const { return m_extendedAddress; }
    void setExtendedAddress(const QByteArray &v) { m_extendedAddress = v; }
    const QByteArray &Street() const { return m_street; }
    void setStreet(const QByteArray &v) { m_street = v; }
    const QByteArray &Locality() const { return m_locality; }
    void setLocality(const QByteArray &v) { m_locality = v; }
    const QByteArray &Region() const { return m_region; }
    void setRegion(const QByteArray &v) { m_region = v; }
    const QByteArray &PostalCode() const { return m_postalCode; }
    void setPostalCode(const QByteArray &v) { m_postalCode = v; }
    const QByteArray &Country() const { return m_country; }
    void setCountry(const QByteArray &v) { m_country = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void LoadParams(const QByteArrayList &params);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsAddressRec"; }

private:
    TmsAddressAttributes m_attributes;
    QByteArray m_poAddress, m_extendedAddress, m_street, m_locality, m_region, m_postalCode,
        m_country;
};

// vCard TEL: one telephone number.
class TmsPhoneRec : public TmsPersistent
{
public:
    TmsPhoneAttributes Attributes() const { return m_attributes; }
    void setAttributes(TmsPhoneAttributes v) { m_attributes = v; }
    const QByteArray &Number() const { return m_number; }
    void setNumber(const QByteArray &v) { m_number = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void LoadParams(const QByteArrayList &params);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsPhoneRec"; }

private:
    TmsPhoneAttributes m_attributes;
    QByteArray m_number;
};

// vCard EMAIL: one e-mail address.
class TmsEmailRec : public TmsPersistent
{
public:
    TmsEmailType EmailType() const { return m_emailType; }
    void setEmailType(TmsEmailType v) { m_emailType = v; }
    const QByteArray &Address() const { return m_address; }
    void setAddress(const QByteArray &v) { m_address = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void LoadParams(const QByteArrayList &params);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsEmailRec"; }

private:
    TmsEmailType m_emailType = mseDefault;
    QByteArray m_address;
};

// vCard ORG: organisation name and unit.
class TmsCompanyRec : public TmsPersistent
{
public:
    const QByteArray &Name() const { return m_name; }
    void setName(const QByteArray &v) { m_name = v; }
    const QByteArray &AUnit() const { return m_aUnit; }
    void setAUnit(const QByteArray &v) { m_aUnit = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsCompanyRec"; }

private:
    QByteArray m_name, m_aUnit;
};

// ---------------------------------------------------------------------------------------
// Groups. Their records are members: created with the group, freed with it, never
// replaced; a setter copies the given record's content into the group's own.

class TmsIdentification : public TmsPersistent
{
public:
    TmsNameRec &Name() { return m_name; }
    const TmsNameRec &Name() const { return m_name; }
    void setName(const TmsNameRec &v) { m_name.Assign(&v); }
    const QByteArray &FormattedName() const { return m_formattedName; }
    void setFormattedName(const QByteArray &v) { m_formattedName = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsIdentification"; }

private:
    TmsNameRec m_name;
    QByteArray m_formattedName;
};

class TmsDeliveryInfo : public TmsPersistent
{
public:
    TmsAddressRec &Address1() { return m_address1; }
    const TmsAddressRec &Address1() const { return m_address1; }
    void setAddress1(const TmsAddressRec &v) { m_address1.Assign(&v); }
    TmsAddressRec &Address2() { return m_address2; }
    const TmsAddressRec &Address2() const { return m_address2; }
    void setAddress2(const TmsAddressRec &v) { m_address2.Assign(&v); }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsDeliveryInfo"; }

private:
    TmsAddressRec m_address1;
    TmsAddressRec m_address2;
};

class TmsTelecomInfo : public TmsPersistent
{
public:
    TmsPhoneRec &Phone1() { return m_phone1; }
    const TmsPhoneRec &Phone1() const { return m_phone1; }
    void setPhone1(const TmsPhoneRec &v) { m_phone1.Assign(&v); }
    TmsPhoneRec &Phone2() { return m_phone2; }
    const TmsPhoneRec &Phone2() const { return m_phone2; }
    void setPhone2(const TmsPhoneRec &v) { m_phone2.Assign(&v); }
    TmsPhoneRec &Phone3() { return m_phone3; }
    const TmsPhoneRec &Phone3() const { return m_phone3; }
    void setPhone3(const TmsPhoneRec &v) { m_phone3.Assign(&v); }
    TmsEmailRec &Email1() { return m_email1; }
    const TmsEmailRec &Email1() const { return m_email1; }
    void setEmail1(const TmsEmailRec &v) { m_email1.Assign(&v); }
    TmsEmailRec &Email2() { return m_email2; }
    const TmsEmailRec &Email2() const { return m_email2; }
    void setEmail2(const TmsEmailRec &v) { m_email2.Assign(&v); }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsTelecomInfo"; }

private:
    TmsPhoneRec m_phone1;
    TmsPhoneRec m_phone2;
    TmsPhoneRec m_phone3;
    TmsEmailRec m_email1;
    TmsEmailRec m_email2;
};

class TmsBusinessInfo : public TmsPersistent
{
public:
    const QByteArray &Title() const { return m_title; }
    void setTitle(const QByteArray &v) { m_title = v; }
    const QByteArray &Role() const { return m_role; }
    void setRole(const QByteArray &v) { m_role = v; }
    TmsCompanyRec &Company() { return m_company; }
    const TmsCompanyRec &Company() const { return m_company; }
    void setCompany(const TmsCompanyRec &v) { m_company.Assign(&v); }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsBusinessInfo"; }

private:
    QByteArray m_title;
    QByteArray m_role;
    TmsCompanyRec m_company;
};

class TmsExplanatoryInfo : public TmsPersistent
{
public:
    // The comment, one text line per item.
    QByteArrayList &Comment() { return m_comment; }
    const QByteArrayList &Comment() const { return m_comment; }
    void setComment(const QByteArrayList &v) { m_comment = v; }
    const QByteArray &URL1() const { return m_url1; }
    void setURL1(const QByteArray &v) { m_url1 = v; }
    const QByteArray &URL2() const { return m_url2; }
    void setURL2(const QByteArray &v) { m_url2 = v; }

    void Clear();
    void Assign(const TmsPersistent *source) override;
    void LoadFromLines(QByteArrayList &lines);
    void LoadFrom(TmsPropertyParser &parser);
    void SaveToLines(QByteArrayList &lines) const;
    const char *ClassName() const override { return "TmsExplanatoryInfo"; }

private:
    QByteArrayList m_comment;
    QByteArray m_url1;
    QByteArray m_url2;
};
