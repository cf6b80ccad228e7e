#include "cabinet/contents_list.h"

#include "app/main_window.h"
#include "cabinet/cabinet_enumeration.h"
#include "cabinet/contents_rows.h"
#include "controls/list_view.h"
#include "platform/path_text.h"

namespace fm {

ContentsRows* ContentsRowsOf(ListView& list) {
    auto* rows = dynamic_cast<ContentsRows*>(&list.rows());
    if (!rows && list.rowCount() == 0) {
        list.setRows(std::make_unique<ContentsRows>());
        rows = static_cast<ContentsRows*>(&list.rows());
    }
    return rows;
}

void AddCabEntry(ListView& list, const CabEntry& entry) {
    ContentsRows* rows = ContentsRowsOf(list);
    if (!rows) { // rows of another shape came first: keep them, add this one as texts
        ContentsRows one;
        one.add(entry.Name, entry.Size, entry.Modified, entry.CabinetPath);
        list.addRow(
            entry.Name,
            {one.cell(0, 1), one.cell(0, 2), one.cell(0, 3), one.cell(0, 4), one.cell(0, 5)},
            entry.Index);
        return;
    }
    rows->add(entry.Name, entry.Size, entry.Modified, entry.CabinetPath);
    list.addStoredRow(entry.Index);
}

QString ContentsRowToolTip(const QString& name,
                           const std::array<QString, ListView::kSubItems>& sub) {
    const QString& cabinet = sub[2];
    return DisplayText(name) + u'\n' + DisplayText(cabinet.mid(cabinet.lastIndexOf(u'\\') + 1));
}

int SortColumnFor(const ListView& list, int clickedIndex, const QString& clickedKey) {
    if (clickedKey == u"Size")
        return list.columnIndex(QStringLiteral("SortSize")) - 1;
    if (clickedKey == u"Modified")
        return list.columnIndex(QStringLiteral("SortDate")) - 1;
    return clickedIndex - 1;
}

void frmFendlemark::lvwFiles_ColumnClick(int index, const QString& key) {
    const int k = SortColumnFor(*lvwFiles, index, key);
    Qt::SortOrder order = Qt::AscendingOrder;
    if (k == lvwFiles->sortKey())
        order =
            lvwFiles->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    lvwFiles->setSortState(k, order, true);
}

void frmFendlemark::ClearContents() {
    lvwFiles->clearRows();
    InnerCabinets.clear();
    Unreadable.clear();
    LoneParts.clear();
}

} // namespace fm
