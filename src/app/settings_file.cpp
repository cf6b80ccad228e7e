#include "app/settings_file.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/profile.h"

#include <QRegularExpression>
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
    auto value = GetProfileString(iniPosixPath(), TextToPath(section), TextToPath(key));
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
    WriteProfileString(iniPosixPath(), TextToPath(section), TextToPath(key), v);
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
    if (!IsOrdinaryFile(iniPosixPath()))
        return;
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
    quietly([&] { Drive1->setDrive(Dir1->path().left(2)); });
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
}

void frmFendlemark::SaveSettings() {
    const QString section = QString::fromLatin1(kSection);
    WriteINI(section, QStringLiteral("InitialPath"), Dir1->path());
    WriteINI(section, QStringLiteral("ExtrAlwaysSame"), QString::number(StgExtrAlwaysSame));
    WriteINI(section, QStringLiteral("ExtrPreservePath"), QString::number(StgExtrPreservePath));
    WriteINI(section, QStringLiteral("ExtrObName"), StgExtrObName);
    WriteINI(section, QStringLiteral("ExtrSetFolder"), StgExtrSetFolder);
}

} // namespace fm
