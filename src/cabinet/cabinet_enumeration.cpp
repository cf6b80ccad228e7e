#include "cabinet/cabinet_enumeration.h"

#include "app/main_window.h"
#include "cabinet/contents_list.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "extract/paths.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"

#include <QCoreApplication>

namespace fm {

QString StrFromAnsiPtr(const CabinetFileRecord& record) {
    return QString::fromStdString(StoredNameToUtf8(record.name, record.nameIsUtf8));
}

QDate DosDateToDate(quint16 dosDate, quint16 dosTime) {
    CalendarDate d = DosDateTimeToDate(dosDate, dosTime);
    return QDate(d.year, d.month, d.day);
}

void CabinetCallback(ListView& list, const CabinetFileRecord& record, const QString& cabinetPath,
                     quint32 index) {
    CabEntry entry;
    entry.Name = StrFromAnsiPtr(record);
    entry.Size = record.size;
    entry.Modified = DosDateToDate(record.dosDate, record.dosTime);
    entry.CabinetPath = cabinetPath;
    entry.Index = index;
    AddCabEntry(list, entry);
}

void frmFendlemark::ListCabContents() {
    QStringList names;
    const std::vector<bool> flags = File1->selectionFlags();
    for (int i = 0; i < File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            names << File1->list(i);

    Busy = true;
    if (names.size() < File1->listCount())
        ckSelAllCabs->setValue(0);
    Busy = false;

    if (Loading)
        return;

    setCursor(Qt::WaitCursor);
    // Let the emptied list repaint; user input waits until the listing is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QString folder = Dir1->path();
    for (const QString& name : names) {
        const QString cabinetPath = JoinPath(folder, name);
        auto posix = platform_.drives->toPosix(TextToPath(cabinetPath));
        if (!posix)
            continue;
        quint32 index = 0;
        IterateCabinet(*posix, [&](const CabinetFileRecord& record) {
            CabinetCallback(*lvwFiles, record, cabinetPath, index++);
        });
    }
    unsetCursor();
}

} // namespace fm
