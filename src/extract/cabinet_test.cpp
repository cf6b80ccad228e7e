#include "extract/cabinet_test.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "extract/paths.h"
#include "extract/tool_call.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/tool_link.h"

#include <QProgressDialog>
#include <QTimer>
#include <cstring>
#include <limits>

namespace fm {

namespace {

// A test shorter than this shows no progress window.
constexpr int kProgressAfterMilliseconds = 400;

QString cabinetsWord(qsizetype n) {
    return n == 1 ? QStringLiteral("1 cabinet") : QStringLiteral("%1 cabinets").arg(n);
}

} // namespace

QStringList SelectedCabinets(const frmFendlemark& w) {
    QStringList cabinets;
    const std::vector<bool> flags = w.File1->selectionFlags();
    for (int i = 0; i < w.File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            cabinets << JoinPath(w.Dir1->path(), w.File1->list(i));
    return cabinets;
}

void TestCabinets(frmFendlemark& w, const QStringList& cabinets) {
    const Platform& p = w.platform();
    if (cabinets.isEmpty()) {
        p.prompt->ok(&w, QStringLiteral("Select the cabinets to test in the list of CAB files."));
        return;
    }
    QProgressDialog progress(QString(), QStringLiteral("Cancel"), 0,
                             static_cast<int>(cabinets.size()), &w);
    progress.setObjectName(QStringLiteral("testProgress"));
    progress.setWindowTitle(QStringLiteral("Fendlemark"));
    progress.setWindowModality(Qt::WindowModal);
    // Shown by a timer of its own: its value changes only between cabinets, and one cabinet
    // can take long.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    QTimer shower;
    shower.setSingleShot(true);
    QObject::connect(&shower, &QTimer::timeout, &progress, &QWidget::show);
    shower.start(kProgressAfterMilliseconds);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    bool cancelled = false;
    // The Cancel button; Esc cancels through the window's own shortcut, seen by wasCanceled().
    QObject::connect(&progress, &QProgressDialog::canceled, [&] { cancelled = true; });
    QObject::connect(&progress, &QDialog::rejected, [&] { cancelled = true; });
    const auto stopAsked = [&] { return cancelled || progress.wasCanceled(); };

    ToolLink link;
    link.driveMounts = ToolLink::mountsOf(*p.drives);
    const std::string attachment = WriteToolLink(link);
    QStringList damaged;
    qsizetype tested = 0, bad = 0;
    for (const QString& cabinet : cabinets) {
        if ((cancelled = stopAsked()))
            break;
        progress.setLabelText(QStringLiteral("Testing %1 (%2 of %3)...")
                                  .arg(MessageText(SplitPath(cabinet).second))
                                  .arg(tested + 1)
                                  .arg(cabinets.size()));
        progress.setValue(static_cast<int>(tested));
        ToolCall call;
        call.command = ToolCall::Command::Test;
        call.cabinet = cabinet;
        const QString parameters = ToolParameters(call);
        const LaunchStart start = p.launcher->launch(TextToPath(p.programFolder), "Cabarc1.exe",
                                                     TextToPath(parameters), attachment);
        QString reason;
        if (start.error != 0) {
            reason = QStringLiteral("the test could not be started: ") +
                     QString::fromLocal8Bit(std::strerror(start.error));
        } else {
            const LaunchEnd end = WaitForLaunch(*p.launcher, start.id, &progress, stopAsked);
            if ((cancelled = stopAsked()))
                break;
            if (end.failed())
                reason = end.firstErrorLine.empty()
                             ? QStringLiteral("the test tool failed (exit status %1)").arg(end.code)
                             : MessageText(PathToText(end.firstErrorLine));
        }
        ++tested;
        if (reason.isEmpty())
            continue;
        if (++bad <= kDamagedShown)
            damaged << MessageText(cabinet) + QStringLiteral(":\n    ") + reason;
    }
    // Closing the window counts as Cancel for it; the outcome is settled before.
    QObject::disconnect(&progress, nullptr, nullptr, nullptr);
    progress.close();

    QString text;
    if (cancelled)
        text = QStringLiteral("Test cancelled: %1 of %2 tested")
                   .arg(tested)
                   .arg(cabinetsWord(cabinets.size()));
    else
        text = cabinetsWord(tested) + QStringLiteral(" tested");
    if (bad == 0) {
        text += cancelled ? QStringLiteral(", all files intact.")
                          : QStringLiteral(": all files intact.");
    } else {
        text += QStringLiteral("; %1 damaged:\n\n")
                    .arg(bad == 1 ? QStringLiteral("1 is") : QStringLiteral("%1 are").arg(bad));
        text += damaged.join(u'\n');
        if (bad > kDamagedShown)
            text += QStringLiteral("\n... and %1 more.").arg(bad - kDamagedShown);
    }
    p.prompt->ok(&w, text);
}

} // namespace fm
