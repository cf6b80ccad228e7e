#include "cabinet/contents_list.h"

#include "app/main_window.h"
#include "cabinet/cabinet_enumeration.h"
#include "controls/list_view.h"

#include <QHash>
#include <QLocale>

namespace fm {

namespace {

// The user's short date, formatted once per distinct date: a listing repeats few dates many times.
const QString& shortDate(const QDate& date) {
    static QHash<QDate, QString> cache;
    static const QLocale locale = QLocale::system();
    static const QString format = locale.dateFormat(QLocale::ShortFormat);
    auto it = cache.constFind(date);
    if (it == cache.constEnd()) {
        if (cache.size() > 4096)
            cache.clear();
        it = cache.insert(date, locale.toString(date, format));
    }
    return *it;
}

} // namespace

void AddCabEntry(ListView& list, const CabEntry& entry) {
    const QDate& d = entry.Modified;
    list.addRow(entry.Name, {QString::number(entry.Size), shortDate(d), entry.CabinetPath,
                             QStringLiteral("%1").arg(entry.Size, 10, 10, QChar(u'0')),
                             QStringLiteral("%1%2%3")
                                 .arg(d.year(), 4, 10, QChar(u'0'))
                                 .arg(d.month(), 2, 10, QChar(u'0'))
                                 .arg(d.day(), 2, 10, QChar(u'0'))});
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
}

} // namespace fm
