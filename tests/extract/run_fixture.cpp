#include "run_fixture.h"

#include <QCoreApplication>
#include <QTest>

namespace fm {

// The Extract command records the selected row count in the window's private SelCount before it
// runs the extraction; these tests take its place through this accessor (an explicit
// instantiation may name a private member).
template <int frmFendlemark::*Member> struct SelCountSlot {
    friend int frmFendlemark::*selCountSlot() { return Member; }
};
template struct SelCountSlot<&frmFendlemark::SelCount>;
int frmFendlemark::*selCountSlot();

} // namespace fm

namespace fm::test {

void clickRows(QAbstractItemView& view, std::initializer_list<int> rows,
               Qt::KeyboardModifiers others, Qt::KeyboardModifiers first) {
    QCoreApplication::processEvents();
    Qt::KeyboardModifiers held = first;
    for (int row : rows) {
        const QModelIndex index = view.model()->index(row, 0);
        view.scrollTo(index);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, held, view.visualRect(index).center());
        held = others;
        QCoreApplication::processEvents();
    }
}

void extractSelected(frmFendlemark& window) {
    window.*selCountSlot() = window.CountSelected();
    window.GoExtract = true;
    window.CheckExtractCabs();
    window.GoExtract = false;
    window.*selCountSlot() = 0;
}

} // namespace fm::test
