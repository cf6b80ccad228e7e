#include "extract/tool_call.h"

#include "extract/short_path.h"
#include "platform/tool_link.h"

namespace fm {

QString ToolParameters(const ToolCall& call) {
    QString p = QStringLiteral(" ");
    if (call.command == ToolCall::Command::Test)
        return p + QStringLiteral("-@ ") + QString::fromLatin1(kToolLinkPath) +
               QStringLiteral(" T ") + PathArgument(call.cabinet);
    if (call.keepFolders)
        p += QStringLiteral("-p ");
    if (call.skipExisting)
        p += QStringLiteral("-n ");
    p += QStringLiteral("-@ ") + QString::fromLatin1(kToolLinkPath);
    if (call.progressDescriptor >= 0)
        p += QStringLiteral(" -r %1").arg(call.progressDescriptor);
    if (call.folderDescriptor >= 0)
        p += QStringLiteral(" -d %1").arg(call.folderDescriptor);
    p += QStringLiteral(" X ") + PathArgument(call.cabinet) +
         (call.allFiles ? QStringLiteral(" *.* ") : QStringLiteral(" "));
    const QChar separator = call.destination.startsWith(u'/') ? u'/' : u'\\';
    return p + (call.destination.endsWith(separator) ? PathArgument(call.destination)
                                                     : PathArgument(call.destination) + separator);
}

} // namespace fm
