#include "cabinet/cabinet_enumeration.h"

#include "app/main_window.h"
#include "cabinet/contents_list.h"
#include "cabinet/contents_rows.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "extract/paths.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"

#include <QCoreApplication>
#include <QSet>

namespace fm {

QString StrFromAnsiPtr(const CabinetFileRecord& record, int codePage) {
    QString text(static_cast<qsizetype>(record.name.size()), Qt::Uninitialized);
    text.resize(static_cast<qsizetype>(StoredNameToUtf16(
        record.name, record.nameIsUtf8, reinterpret_cast<char16_t*>(text.data()), codePage)));
    return text;
}

QDate DosDateToDate(quint16 dosDate, quint16 dosTime) {
    CalendarDate d = DosDateTimeToDate(dosDate, dosTime);
    return QDate(d.year, d.month, d.day);
}

void CabinetCallback(ListView& list, const CabinetFileRecord& record, const QString& cabinetPath,
                     quint32 index, int codePage) {
    CabEntry entry;
    entry.Name = StrFromAnsiPtr(record, codePage);
    entry.Size = record.size;
    entry.Modified = DosDateToDate(record.dosDate, record.dosTime);
    entry.CabinetPath = cabinetPath;
    entry.Index = index;
    AddCabEntry(list, entry);
}

namespace {

// The part a header names beside a selected one, unless it is selected too.
AbsentPart absentPart(const std::optional<std::string>& posixFolder, const std::string& stored,
                      const QSet<QString>& selected) {
    if (stored.empty())
        return {};
    const std::string path = posixFolder ? FindCabinetPart(*posixFolder, stored) : std::string();
    if (path.empty())
        return {QString::fromStdString(Windows1252ToUtf8(stored)), true};
    const QString name = PathToText(std::string_view(path).substr(path.rfind('/') + 1));
    return selected.contains(name) ? AbsentPart{} : AbsentPart{name, false};
}

} // namespace

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
    Unreadable.clear();
    LoneParts.clear();
    const auto posixFolder = platform_.drives->toPosix(TextToPath(folder));
    const QSet<QString> selected(names.begin(), names.end());
    QHash<QString, QString> notes;
    ContentsRows* rows = nullptr;
    bool rowsKnown = false;
    char16_t text[256]; // a stored name has at most 255 bytes, each one unit or less
    for (const QString& name : names) {
        const QString cabinetPath = JoinPath(folder, name);
        auto posix = platform_.drives->toPosix(TextToPath(cabinetPath));
        quint32 index = 0;
        quint32 cabinet = 0;
        const auto onFile = [&](const CabinetFileRecord& record) {
            if (!rowsKnown) {
                rows = ContentsRowsOf(*lvwFiles);
                rowsKnown = true;
            }
            if (!rows) {
                CabinetCallback(*lvwFiles, record, cabinetPath, index++, NameCodePage);
                return;
            }
            // What CabinetCallback adds, without an entry's strings and date in between.
            if (index == 0)
                cabinet = rows->cabinetIndex(cabinetPath);
            const std::size_t units =
                StoredNameToUtf16(record.name, record.nameIsUtf8, text, NameCodePage);
            const CalendarDate date = DosDateTimeToDate(record.dosDate, record.dosTime);
            rows->add(QStringView(text, static_cast<qsizetype>(units)), record.size,
                      static_cast<quint32>(date.year * 10000 + date.month * 100 + date.day),
                      cabinet);
            lvwFiles->addStoredRow(index++);
        };
        CabinetListing listing;
        if (posix)
            listing = IterateCabinet(*posix, onFile);
        else
            listing.problem = "This path cannot be shown.";
        // Marked in the cabinet list, so a damaged cabinet is told apart without a message each.
        const QString why = QString::fromStdString(listing.problem);
        File1->setProblem(name, why);
        if (!why.isEmpty())
            Unreadable.append({name, why});
        // A part without its neighbour lists neither the files continued from it nor those
        // continued into it.
        const QString note = LonePartNote(absentPart(posixFolder, listing.previous, selected),
                                          absentPart(posixFolder, listing.next, selected));
        if (!note.isEmpty()) {
            LoneParts.append({name, note});
            notes.insert(name, note);
        }
    }
    File1->setNotes(notes);
    unsetCursor();
    // One message for a selection of which nothing at all could be read.
    if (!names.isEmpty() && Unreadable.size() == names.size())
        platform_.prompt->ok(this, UnreadableMessage(Unreadable));
}

} // namespace fm
