#pragma once

// One launch of the cabinet tool by the program, the way every caller makes it: the parameter
// string (platform/tool_link.h shows its forms). The window waits for it in
// extract/run_in_window.h.
//
//   extract    " [-p ][-n ]-@ /dev/fd/3[ -r 4][ -d 5] X <cabinet> [*.* ]<destination>\"
//   test       " -@ /dev/fd/3 T <cabinet>"
//
// The link on descriptor 3 carries the program's drive map and, for chosen rows, their records.

#include <QString>

namespace fm {

struct ToolCall {
    enum class Command { Extract, Test };
    Command command = Command::Extract;
    QString cabinet;             // drive form (or a POSIX path)
    QString destination;         // extract: drive form or POSIX, a folder that exists
    bool allFiles = false;       // extract: every file ("*.*"), not the link's file lines
    bool keepFolders = false;    // -p
    bool skipExisting = false;   // -n
    int progressDescriptor = -1; // extract: -r, the descriptor the tool reports its bytes on
    int folderDescriptor = -1;   // extract: -d, the descriptor the destination is open on
};

QString ToolParameters(const ToolCall& call);

} // namespace fm
