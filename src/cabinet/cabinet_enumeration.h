#pragma once

// Turning the files stored in the selected cabinets into rows of the contents list.

#include "platform/cabinet_directory.h"

#include <QDate>
#include <QString>

namespace fm {

class ListView;

// One file stored in a cabinet, as the listing reports it.
struct CabEntry {
    QString Name;        // as stored, folder part included, backslash-separated
    quint32 Size = 0;    // uncompressed
    QDate Modified;      // the date part of the stored DOS date and time
    QString CabinetPath; // the cabinet it comes from (drive form)
    // Its record among the files that start in that cabinet, in stored order from 0: what names
    // exactly this file to the tool, whatever names its neighbours carry.
    quint32 Index = 0;
};

// A name the cabinet list shows as a cabinet file of its own (.cab, and .msu, an update
// package, which is a cabinet); other files are searched for cabinets inside them.
bool IsCabinetFileName(const QString& name);

// The stored name as text: UTF-8 when flagged, in `codePage` (kNameCodePages) otherwise.
QString StrFromAnsiPtr(const CabinetFileRecord& record, int codePage);

// The date part of a DOS date and time; rejected values give 1 January 1601.
QDate DosDateToDate(quint16 dosDate, quint16 dosTime);

// Builds the entry for one stored file and appends its row (the file is not extracted).
void CabinetCallback(ListView& list, const CabinetFileRecord& record, const QString& cabinetPath,
                     quint32 index, int codePage);

} // namespace fm
