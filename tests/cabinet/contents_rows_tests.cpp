// The contents list's compact rows read as rows of plain texts would, and sort stably by each key.

#include "cabinet/cabinet_enumeration.h"
#include "cabinet/contents_list.h"
#include "cabinet/contents_rows.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <numeric>

using namespace fm;

TEST(ContentsRows, EachRowGivesBackItsTextsAndTag) {
    struct Case {
        CabEntry entry;
        QStringList sub; // sub-items 1, 3, 4 and 5 (2 is the user's short date)
    };
    const QString a = QStringLiteral("C:\\cabs\\A.cab"), b = QStringLiteral("D:\\b.cab");
    const Case cases[] = {
        {{"readme.txt", 1234, QDate(2002, 3, 15), a}, {"1234", a, "0000001234", "20020315"}},
        {{"docs\\Ünïcode\U0001F600.txt", 0, QDate(1601, 1, 1), a},
         {"0", a, "0000000000", "16010101"}},
        {{"big", 4294967295u, QDate(2107, 12, 31), b}, {"4294967295", b, "4294967295", "21071231"}},
        {{QString(65535, u'x'), 10, QDate(1980, 1, 1), a}, {"10", a, "0000000010", "19800101"}},
        {{"", 9, QDate(), b}, {"9", b, "0000000009", "00000000"}},
    };
    ListView list;
    for (const Case& c : cases)
        AddCabEntry(list, c.entry);
    list.addRow(QStringLiteral("tagged"), {"7", "", a, "0000000007", "20000101"}, 0xFEEDF00D);
    ASSERT_NE(dynamic_cast<ContentsRows*>(&list.rows()), nullptr);
    ASSERT_EQ(list.rowCount(), 6);
    const QLocale locale = QLocale::system();
    for (int row = 1; row <= 5; ++row) {
        const Case& c = cases[row - 1];
        EXPECT_EQ(list.text(row), c.entry.Name);
        EXPECT_EQ(list.subItem(row, 2), locale.toString(c.entry.Modified, QLocale::ShortFormat));
        EXPECT_EQ((QStringList{list.subItem(row, 1), list.subItem(row, 3), list.subItem(row, 4),
                               list.subItem(row, 5)}),
                  c.sub)
            << row;
        EXPECT_EQ(list.tag(row), 0u);
    }
    EXPECT_EQ(list.subItem(6, 5), QStringLiteral("20000101"));
    EXPECT_EQ(list.tag(6), 0xFEEDF00Du);
}

// Both row stores, the plain one and the contents list's.
TEST(ContentsRows, SortsByEveryKeyStablyPastSixteenRows) {
    for (const bool compact : {true, false}) {
        ListView list;
        if (compact)
            list.setRows(std::make_unique<ContentsRows>());
        for (quint32 i = 0; i < 40; ++i) { // three sizes, two dates, names equal but for case
            const QString name = QStringLiteral("%1%2").arg(i % 2 ? "SAME" : "same").arg(i / 20);
            list.addRow(name,
                        {"", "", QStringLiteral("C:\\%1.cab").arg(i % 4),
                         QStringLiteral("00000000%1")
                             .arg(i % 3 == 0   ? 9
                                  : i % 3 == 1 ? 10
                                               : 99),
                         QStringLiteral("200%1%2").arg(i % 2).arg("0101")},
                        i);
            list.setSelected(static_cast<int>(i) + 1, i % 5 == 0);
        }
        auto rows = [&] {
            std::vector<std::pair<quint32, bool>> out;
            for (int r = 1; r <= list.rowCount(); ++r)
                out.emplace_back(list.tag(r), list.selected(r));
            return out;
        };
        for (int sub : {4, 5, 0, 3, 1, 2, 4}) {
            for (Qt::SortOrder way : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                // The stable order of the rows as they stand, by the texts of column `sub`.
                std::vector<int> order(static_cast<size_t>(list.rowCount()));
                std::iota(order.begin(), order.end(), 1);
                auto key = [&](int r) { return sub ? list.subItem(r, sub) : list.text(r); };
                std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
                    const int c = key(x).compare(key(y), Qt::CaseInsensitive);
                    return way == Qt::AscendingOrder ? c < 0 : c > 0;
                });
                std::vector<std::pair<quint32, bool>> want;
                for (int r : order)
                    want.emplace_back(list.tag(r), list.selected(r));
                list.setSortState(sub, way, true);
                EXPECT_EQ(rows(), want) << "key " << sub << " order " << way << " " << compact;
            }
        }
    }
}
