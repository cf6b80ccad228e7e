#include "extract/tool_call.h"

#include "extract/short_path.h"
#include "platform/tool_link.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

namespace fm {

namespace {

// A finished tool is collected a moment after it ends; the wait looks this often.
constexpr int kLookMilliseconds = 5;
// How long a tool asked to stop may take before it is made to.
constexpr int kStopGraceMilliseconds = 2000;

// Holds back what the user does while the program waits for its tool, except in `answering`.
class InputHold : public QObject {
public:
    explicit InputHold(QWidget* answering) : answering_(answering) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::Close: {
            // A shortcut event goes to its QShortcut or QAction, which belongs to its parent.
            auto* w = qobject_cast<QWidget*>(watched);
            if (!w && watched)
                w = qobject_cast<QWidget*>(watched->parent());
            if (answering_ && w && (w == answering_ || answering_->isAncestorOf(w)))
                return false;
            event->ignore();
            return true;
        }
        default:
            return false;
        }
    }

private:
    QWidget* answering_;
};

} // namespace

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

LaunchEnd WaitForLaunch(Launcher& launcher, LaunchId id, QWidget* answering,
                        const std::function<bool()>& cancelled) {
    InputHold hold(answering);
    qApp->installEventFilter(&hold);
    std::optional<LaunchEnd> end;
    bool stopping = false;
    QElapsedTimer sinceStop;
    QEventLoop loop;
    QTimer look;
    look.setInterval(kLookMilliseconds);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (cancelled && !stopping && cancelled()) {
            stopping = true;
            sinceStop.start();
            launcher.terminate(id);
        } else if (stopping && sinceStop.hasExpired(kStopGraceMilliseconds)) {
            launcher.kill(id); // deaf to the polite request
        }
        launcher.collect();
        if ((end = launcher.takeEnd(id)))
            loop.quit();
    });
    look.start();
    launcher.collect();
    if (!(end = launcher.takeEnd(id)))
        loop.exec();
    qApp->removeEventFilter(&hold);
    return *end;
}

} // namespace fm
