#include "cabinet/contents_list.h"

#include "app/main_window.h"
#include "cabinet/cabinet_enumeration.h"
#include "controls/list_view.h"
#include "platform/path_text.h"

#include <QHash>
#include <QLocale>
#include <cstdio>

namespace fm {

namespace {

struct DateTexts {
    QString shown; // the user's short date
    QString key;   // yyyymmdd
};

// Both texts of a date, made once per distinct date: a listing repeats few dates many times.
const DateTexts& dateTexts(const QDate& date) {
    static QHash<QDate, DateTexts> cache;
    static const QLocale locale = QLocale::system();
    static const QString format = locale.dateFormat(QLocale::ShortFormat);
    auto it = cache.constFind(date);
    if (it == cache.constEnd()) {
        if (cache.size() > 4096)
            cache.clear();
        int y = 0, m = 0, d = 0;
        date.getDate(&y, &m, &d);
        char key[16];
        std::snprintf(key, sizeof key, "%04d%02d%02d", y, m, d);
        it = cache.insert(date, {locale.toString(date, format), QString::fromLatin1(key)});
    }
    return *it;
}

QString tenDigits(quint32 value) {
    char digits[10];
    for (int i = 9; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return QString::fromLatin1(digits, 10);
}

} // namespace

void AddCabEntry(ListView& list, const CabEntry& entry) {
    const DateTexts& date = dateTexts(entry.Modified);
    list.addRow(entry.Name,
                {QString::number(entry.Size), date.shown, entry.CabinetPath, tenDigits(entry.Size),
                 date.key},
                entry.Index);
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
}

} // namespace fm
