#include "controls/list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <gtest/gtest.h>

using fm::ListView;

namespace {

// Rows whose text is the name and whose sub-item 4 is a sort key.
void add(ListView& v, const QString& name, const QString& key) {
    v.addRow(name, {QString(), QString(), QString(), key, QString()});
}

QStringList texts(const ListView& v) {
    QStringList out;
    for (int i = 1; i <= v.rowCount(); ++i)
        out << v.text(i);
    return out;
}

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* key : {"Name", "Size", "Modified", "Path", "SortSize", "SortDate"})
            view.addColumn(QString::fromLatin1(key), QString::fromLatin1(key), 50);
    }
    ListView view;
};

} // namespace

TEST_F(ListViewTest, SortsByKeyColumnStablyBothWays) {
    add(view, "b", "2");
    add(view, "a", "1");
    add(view, "c", "2");
    add(view, "D", "0");
    view.setSortState(4, Qt::AscendingOrder, true);
    EXPECT_EQ(texts(view), (QStringList{"D", "a", "b", "c"}));
    view.setSortState(4, Qt::DescendingOrder, true);
    EXPECT_EQ(texts(view), (QStringList{"b", "c", "a", "D"}));
    // Text order ignores case.
    view.setSortState(0, Qt::AscendingOrder, true);
    EXPECT_EQ(texts(view), (QStringList{"a", "b", "c", "D"}));
}

TEST_F(ListViewTest, RowsAddedWhileSortedLandInOrder) {
    view.setSortState(0, Qt::DescendingOrder, true);
    for (const char* n : {"m", "z", "a", "q"})
        add(view, QString::fromLatin1(n), {});
    EXPECT_EQ(texts(view), (QStringList{"z", "q", "m", "a"}));
    add(view, "n", {});
    EXPECT_EQ(view.text(3), QStringLiteral("n"));
    // The view sees the same order as the accessors.
    QApplication::processEvents();
    EXPECT_EQ(view.model()->index(2, 0).data().toString(), QStringLiteral("n"));
}

TEST_F(ListViewTest, UnsortedListKeepsInsertionOrderAndSortStateSurvivesClearing) {
    for (const char* n : {"b", "a"})
        add(view, QString::fromLatin1(n), {});
    EXPECT_EQ(texts(view), (QStringList{"b", "a"}));
    view.setSortState(0, Qt::AscendingOrder, true);
    view.clearRows();
    EXPECT_EQ(view.rowCount(), 0);
    add(view, "y", {});
    add(view, "x", {});
    EXPECT_EQ(texts(view), (QStringList{"x", "y"}));
    EXPECT_TRUE(view.sorted());
}

TEST_F(ListViewTest, SelectionAndCurrentRowFollowTheirRowsThroughASort) {
    for (const char* n : {"c", "a", "b"})
        add(view, QString::fromLatin1(n), {});
    view.setSelected(1, true); // c
    view.setCurrentRow(3);     // b
    view.setSortState(0, Qt::AscendingOrder, true);
    EXPECT_EQ(view.selectionFlags(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(view.currentRow(), 2);
    EXPECT_EQ(view.selectedCount(), 1);
    // The view shows the same selection.
    EXPECT_TRUE(view.selectionModel()->isRowSelected(2, {}));
    EXPECT_FALSE(view.selectionModel()->isRowSelected(0, {}));
}

TEST_F(ListViewTest, ProgramSelectionRaisesNoClickButUserSelectionDoes) {
    add(view, "a", {});
    add(view, "b", {});
    QSignalSpy clicks(&view, &ListView::click);
    view.setSelectionFlags({true, true});
    view.setSelected(1, false);
    EXPECT_EQ(clicks.count(), 0);
    // A keyboard-style change through the view's own selection model counts as the user's.
    view.selectionModel()->select(view.model()->index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(view.selectionFlags(), (std::vector<bool>{true, true}));
}

TEST_F(ListViewTest, HeaderClickReportsIndexAndKey) {
    QSignalSpy spy(&view, &ListView::columnClick);
    emit view.header()->sectionClicked(1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 2);
    EXPECT_EQ(spy[0][1].toString(), QStringLiteral("Size"));
    EXPECT_EQ(view.columnIndex(QStringLiteral("SortDate")), 6);
    EXPECT_EQ(view.columnIndex(QStringLiteral("nope")), 0);
}

TEST_F(ListViewTest, BeyondSixteenBitCounts) {
    std::vector<bool> flags;
    for (int i = 0; i < 40000; ++i) {
        add(view, QString::number(i), {});
        flags.push_back(i % 2 == 0);
    }
    view.setSelectionFlags(flags);
    EXPECT_EQ(view.rowCount(), 40000);
    EXPECT_EQ(view.selectedCount(), 20000);
    EXPECT_EQ(view.text(40000), QStringLiteral("39999"));
}
