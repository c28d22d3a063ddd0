// The CSV splitter and the address-book line: every line of an address book, whatever
// its bytes, splits without fault, and a contact written back reads back the same.
#include "FuzzSupport.h"

#include "store/AddressBook.h"
#include "store/BookLines.h"
#include "store/CSVStringInfo.h"
#include "store/Collation.h"
#include "store/ContactListModel.h"
#include "store/TextCodec.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzBytes(data, size);

    // The whole input as one line: the component and the view-based splitter agree, and
    // every field lies inside the line.
    TCSVStringInfo csv;
    csv.setSourceString(input.toByteArray());
    const QList<QByteArrayView> views = TCSVStringInfo::fieldViews(input);
    FUZZ_CHECK(csv.Error() == input.isEmpty());
    FUZZ_CHECK(csv.FieldList().size() == views.size());
    qsizetype total = 0;
    for (qsizetype k = 0; k < views.size(); ++k) {
        FUZZ_CHECK(csv.FieldList()[k] == views[k]);
        FUZZ_CHECK(views[k].data() >= input.data() && views[k].data() + views[k].size() <= input.data() + input.size());
        total += views[k].size();
    }
    FUZZ_CHECK(total <= input.size());

    // The input as an address book: every line becomes a contact; written back with the
    // comma rule and read again, it has the same fields, made safe.
    const QByteArrayList lines = AddressBook::splitLines(input);
    for (const QByteArray &line : lines) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        const TContatto c = TContatto::fromLine(line);
        const QByteArray written = c.toLine();
        FUZZ_CHECK(TCSVStringInfo::fieldViews(written).size() <= TContatto::FieldCount);
        const TContatto back = TContatto::fromLine(written);
        for (int k = 0; k < TContatto::FieldCount; ++k)
            FUZZ_CHECK(back.fields[k] == AddressBook::fieldValue(c.fields[k]));
    }
    FUZZ_CHECK(AddressBook::splitLines(AddressBook::joinLines(lines)) == lines);

    // The book in one block finds the same lines through its index, and the main list's
    // model over it shows them, each row the line of its number.
    const BookLines book = BookLines::fromBytes(input.toByteArray());
    FUZZ_CHECK(book.size() == lines.size());
    for (qsizetype k = 0; k < lines.size(); ++k)
        FUZZ_CHECK(book[k] == lines[k] && book.nonEmptyLines().contains(k) == !lines[k].isEmpty());
    ContactListModel model;
    model.setRows(book, LineSet::all(book.size()));
    for (int r = 0; r < model.rowCount(); ++r) {
        FUZZ_CHECK(model.lineNumber(r) == r + 1);
        FUZZ_CHECK(model.line(r) == lines[r]);
        FUZZ_CHECK(model.fields(r).size() == TContatto::FieldCount);
        for (int c = 0; c < model.columnCount(); ++c)
            (void)model.data(model.index(r, c), Qt::DisplayRole);
    }

    // Sorted by a column, the rows are the same lines in another order; ascending, the
    // values shown (short enough to be compared whole) are in the collation's order.
    const int column = input.isEmpty() ? 1 : 1 + quint8(input[0]) % TContatto::FieldCount;
    const bool descending = size % 2;
    model.sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    FUZZ_CHECK(model.rowCount() == lines.size());
    std::vector<bool> listed(size_t(lines.size()), false);
    QByteArray previous;
    for (int r = 0; r < model.rowCount(); ++r) {
        const int line = model.lineNumber(r) - 1;
        FUZZ_CHECK(line >= 0 && line < lines.size() && !listed[size_t(line)]);
        listed[size_t(line)] = true;
        FUZZ_CHECK(model.line(r) == lines[line]);
        const QByteArray value = model.field(r, column - 1);
        const bool empty = value.isEmpty() || value == "-";
        if (!descending && column - 1 != TContatto::datainserimento && value.size() <= TextCodec::ShownLength) {
            const QByteArray shown = AddressBook::shownValue(value);
            if (!empty && r > 0 && !previous.isNull())
                FUZZ_CHECK(Collation::compare(previous, shown) <= 0);
            previous = empty ? QByteArray() : shown;
        }
        if (!empty)
            FUZZ_CHECK(Collation::compare(value, value) == 0);
    }
    return 0;
}
