#include "cabinet/unreadable.h"

#include "platform/path_text.h"

namespace fm {

namespace {

constexpr qsizetype kLinesShown = 10;

QString cabFiles(qsizetype n) {
    return QString::number(n) +
           (n == 1 ? QStringLiteral(" CAB file") : QStringLiteral(" CAB files"));
}

} // namespace

QString UnreadableNote(const QList<UnreadableCab>& cabs) {
    return cabs.isEmpty() ? QString()
                          : QString::number(cabs.size()) + QStringLiteral(" unreadable.");
}

QString UnreadableStatus(const QList<UnreadableCab>& cabs) {
    if (cabs.isEmpty())
        return QString();
    return QStringLiteral("Cannot read ") +
           (cabs.size() == 1 ? DisplayText(cabs.front().name) : cabFiles(cabs.size())) + u'.';
}

QString UnreadableDetails(const QList<UnreadableCab>& cabs) {
    QStringList lines;
    for (qsizetype i = 0; i < cabs.size() && i < kLinesShown; ++i)
        lines << DisplayText(cabs[i].name) + QStringLiteral(": ") + cabs[i].why;
    if (cabs.size() > kLinesShown)
        lines << QStringLiteral("... and %1 more.").arg(cabs.size() - kLinesShown);
    return lines.join(u'\n');
}

QString LonePartNote(const AbsentPart& before, const AbsentPart& after) {
    QStringList parts;
    const auto say = [&](const char* which, const AbsentPart& part) {
        if (!part.name.isEmpty())
            parts << QStringLiteral("the part %1, %2, is %3")
                         .arg(QLatin1String(which), DisplayText(part.name),
                              part.missing ? QStringLiteral("missing")
                                           : QStringLiteral("not selected"));
    };
    say("before", before);
    say("after", after);
    return parts.isEmpty() ? QString()
                           : QStringLiteral("Part of a spanned set: ") + parts.join(u"; ") + u'.';
}

QString UnreadableMessage(const QList<UnreadableCab>& cabs) {
    const QString head = cabs.size() == 1
                             ? QStringLiteral("The selected CAB file cannot be read:")
                             : QStringLiteral("None of the selected CAB files can be read:");
    return head + QStringLiteral("\n\n") + UnreadableDetails(cabs);
}

} // namespace fm
