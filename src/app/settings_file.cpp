#include "app/settings_file.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "extract/private_copies.h"
#include "platform/cabinet_directory.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/profile.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <cerrno>
#include <cmath>
#include <exception>

namespace fm {

QString AppPath;
QString IniFilePath;
std::string IniPosixPath;

namespace {

const std::string& iniPosixPath() {
    return IniPosixPath;
}

// The settings file's text while LoadSettings or SaveSettings runs: read once before the first
// key and, for a save, written once after the last, however many keys they touch.
struct ProfileSession;
ProfileSession* openSession = nullptr;

struct ProfileSession {
    explicit ProfileSession(std::string text) : profile(std::move(text)) { openSession = this; }
    ~ProfileSession() { openSession = nullptr; }
    ProfileSession(const ProfileSession&) = delete;
    ProfileSession& operator=(const ProfileSession&) = delete;

    ProfileText profile;
    bool changed = false;
};

// Runs one load step; any failure skips just that step.
template <typename Step> void quietly(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace

QString ReadINI(const QString& section, const QString& key) {
    // Values are paths as often as not, so they take the same reversible conversion as names.
    const std::string s = TextToPath(section), k = TextToPath(key);
    auto value =
        openSession ? openSession->profile.get(s, k) : GetProfileString(iniPosixPath(), s, k);
    if (!value || value->empty())
        return QString();
    QString text = PathToText(*value);
    // The profile reader fills a 512-character buffer: at most 511 characters and a terminator.
    constexpr qsizetype kMax = 511;
    if (text.size() > kMax) {
        QList<uint> chars = text.toUcs4();
        if (chars.size() > kMax)
            text = QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), kMax);
    }
    return text;
}

void WriteINI(const QString& section, const QString& key, const QString& value) {
    std::optional<std::string> v;
    if (!value.isNull())
        v = TextToPath(value);
    const std::string s = TextToPath(section), k = TextToPath(key);
    if (openSession)
        openSession->changed = openSession->profile.set(s, k, v) || openSession->changed;
    else
        WriteProfileString(iniPosixPath(), s, k, v);
}

std::optional<qint16> ToInt16(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    QString t = text.trimmed();
    if (t.isEmpty() || !number.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    double r = std::nearbyint(d); // the default rounding mode: halves to even
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(r);
}

void frmFendlemark::LoadSettings() {
    // A hidden file counts as absent; anything but a regular file is refused on opening.
    if (IsHiddenName(iniPosixPath()))
        return;
    std::optional<std::string> text = ReadProfileFile(iniPosixPath());
    if (!text)
        return;
    ProfileSession session(std::move(*text));
    const QString section = QString::fromLatin1(kSection);
    quietly([&] {
        // A stored path comes from outside: its drive is the one the longest mount names, as
        // for the working folder (C:\media\ann\STICK\x opens as D:\x), not the drive it was
        // written with.
        QString path = ReadINI(section, QStringLiteral("InitialPath"));
        if (auto posix = platform_.drives->toPosix(TextToPath(path)))
            if (auto named = platform_.drives->toDrive(*posix))
                path = PathToText(*named);
        Dir1->setPath(path);
    });
    // The drive list follows the folder list, but its change handler must not move the folder
    // list on to that drive's current folder: the stored folder is where the window opens,
    // whichever drive the program was started from.
    quietly([&] {
        Busy = true;
        try {
            Drive1->setDrive(Dir1->path().left(2));
        } catch (const std::exception&) {
        }
        Busy = false;
    });
    quietly([&] {
        if (auto v = ToInt16(ReadINI(section, QStringLiteral("ExtrAlwaysSame"))))
            StgExtrAlwaysSame = *v;
    });
    quietly([&] {
        if (auto v = ToInt16(ReadINI(section, QStringLiteral("ExtrPreservePath"))))
            StgExtrPreservePath = *v;
    });
    quietly([&] { StgExtrObName = ReadINI(section, QStringLiteral("ExtrObName")); });
    quietly([&] { StgExtrSetFolder = ReadINI(section, QStringLiteral("ExtrSetFolder")); });
    // An absent or unknown code page reads names as Windows does.
    const int codePage = ReadINI(section, QStringLiteral("NameCodePage")).trimmed().toInt();
    NameCodePage = IsNameCodePage(codePage) ? codePage : 1252;
    for (QAction* item : mNameEncoding->actions())
        item->setChecked(item->data().toInt() == NameCodePage);
    // Only "1" turns it on; off, the cabinet list stays as it always was.
    LookInside = ReadINI(section, QStringLiteral("LookInside")).trimmed() == u"1";
    mLookInside->setChecked(LookInside);
    if (LookInside)
        ShowContainers();
}

void frmFendlemark::SaveSettings() {
    // A file that exists but cannot be read (not a regular file, no permission) is not
    // replaced: its settings are the user's, not ours to drop.
    int error = 0;
    std::optional<std::string> text = ReadProfileFile(iniPosixPath(), &error);
    if (!text && error != ENOENT)
        return;
    ProfileSession session(text ? std::move(*text) : std::string());
    const QString section = QString::fromLatin1(kSection);
    // A folder among the private copies is kept as the real folder it stands for, or not at all.
    if (const auto path = RealPlaceText(*this, Dir1->path()))
        WriteINI(section, QStringLiteral("InitialPath"), *path);
    WriteINI(section, QStringLiteral("ExtrAlwaysSame"), QString::number(StgExtrAlwaysSame));
    WriteINI(section, QStringLiteral("ExtrPreservePath"), QString::number(StgExtrPreservePath));
    WriteINI(section, QStringLiteral("ExtrObName"), StgExtrObName);
    if (const auto folder = RealPlaceText(*this, StgExtrSetFolder))
        WriteINI(section, QStringLiteral("ExtrSetFolder"), *folder);
    // Windows' own is the default: not written, and an earlier choice is removed.
    WriteINI(section, QStringLiteral("NameCodePage"),
             NameCodePage == 1252 ? QString() : QString::number(NameCodePage));
    WriteINI(section, QStringLiteral("LookInside"), LookInside ? QStringLiteral("1") : QString());
    if (session.changed)
        WriteProfileFile(iniPosixPath(), session.profile.text());
}

} // namespace fm
