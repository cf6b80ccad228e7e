#include "controls/list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using fm::ListView;

namespace {

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A hidden column between visible ones: the view's sections skip it.
        const std::pair<const char*, int> columns[] = {{"Name", 60},    {"Path", 0},
                                                       {"Size", 60},    {"Modified", 60},
                                                       {"SortSize", 0}, {"SortDate", 0}};
        for (auto [key, width] : columns)
            view.addColumn(QString::fromLatin1(key), QString::fromLatin1(key), width);
        view.resize(300, 200);
        view.show();
    }
    // Rows named `names`, sub-item 4 holding the key.
    void add(std::initializer_list<std::pair<const char*, const char*>> rows) {
        for (auto [name, key] : rows)
            view.addRow(QString::fromLatin1(name),
                        {QString(), QString(), QString(), QString::fromLatin1(key), QString()});
    }
    QStringList texts() const {
        QStringList out;
        for (int i = 1; i <= view.rowCount(); ++i)
            out << view.text(i);
        return out;
    }
    QPoint rowAt(int row) const {
        return view.visualRect(view.model()->index(row - 1, 0)).center();
    }
    ListView view;
};

} // namespace

TEST_F(ListViewTest, SortsStablyBothWaysCarryingSelectionAndKeepsOrderForNewRows) {
    add({{"b", "2"}, {"a", "1"}, {"c", "2"}, {"D", "0"}});
    EXPECT_EQ(texts(), (QStringList{"b", "a", "c", "D"})); // unsorted: as added
    view.setSelected(3, true);                             // c
    view.setCurrentRow(1);                                 // b
    view.setSortState(4, Qt::AscendingOrder, true);
    EXPECT_EQ(texts(), (QStringList{"D", "a", "b", "c"}));
    // The selection and the current row follow their rows, also in the view.
    EXPECT_EQ(view.selectionFlags(), (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(view.currentRow(), 3);
    EXPECT_TRUE(view.selectionModel()->isRowSelected(3, {}));
    EXPECT_FALSE(view.selectionModel()->isRowSelected(2, {}));
    view.setSortState(4, Qt::DescendingOrder, true);
    EXPECT_EQ(texts(), (QStringList{"b", "c", "a", "D"}));
    view.setSortState(0, Qt::DescendingOrder, true);
    view.clearRows();
    add({{"m", ""}, {"z", ""}, {"A", ""}, {"Q", ""}, {"n", ""}});
    EXPECT_EQ(texts(), (QStringList{"z", "Q", "n", "m", "A"})); // letter case ignored
    QApplication::processEvents();
    EXPECT_EQ(view.model()->index(2, 0).data().toString(), QStringLiteral("n"));
    EXPECT_TRUE(view.sorted());
}

TEST_F(ListViewTest, EachMouseGestureIsOneClickAndProgramChangesNone) {
    add({{"a", ""}, {"b", ""}, {"c", ""}});
    QApplication::processEvents();
    QSignalSpy clicks(&view, &ListView::click);
    view.setSelectionFlags({true, true, false});
    view.setSelected(1, false);
    EXPECT_EQ(clicks.count(), 0);
    // A drag over three rows is one Click; a click on the row already selected is one more.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, rowAt(1));
    QTest::mouseMove(view.viewport(), rowAt(2));
    QTest::mouseMove(view.viewport(), rowAt(3));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, rowAt(3));
    QApplication::processEvents();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(view.selectedCount(), 3);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rowAt(2));
    QApplication::processEvents();
    EXPECT_EQ(clicks.count(), 2);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rowAt(2));
    QApplication::processEvents();
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_EQ(view.selectionFlags(), (std::vector<bool>{false, true, false}));
}

TEST_F(ListViewTest, TagsFollowTheirRowsAndRemovalKeepsTheRest) {
    for (quint32 t : {7u, 5u, 9u, 1u})
        view.addRow(QString::number(t),
                    {QString(), QString(), QString(), QString::number(t), QString()}, t);
    view.setSortState(4, Qt::AscendingOrder, true);
    view.setSelected(3, true); // 7
    view.setCurrentRow(4);     // 9
    view.removeRows({true, true, false});
    EXPECT_EQ(texts(), (QStringList{"7", "9"}));
    EXPECT_EQ(view.tag(1), 7u);
    EXPECT_EQ(view.tag(2), 9u);
    EXPECT_EQ(view.selectionFlags(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(view.selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(view.currentRow(), 2);
    EXPECT_EQ(view.model()->rowCount(), 2);
}
