#pragma once

// The services the windows use, in one bundle, so tests can put fakes in their place.

#include <QString>
#include <functional>

namespace fm {

class DriveMap;
class Launcher;
class ProcessList;
class Prompt;
class Screen;

struct Platform {
    // The program's drive map. Refresh rebuilds it in place from readDrives, so every control
    // that holds it sees the new one, and every launch hands the tool the map of that moment.
    DriveMap* drives = nullptr;
    Prompt* prompt = nullptr;
    const Screen* screen = nullptr;
    // The program's own folder as a POSIX path turned into text by PathToText (where
    // Fendlemark.ini lives).
    QString programFolder;
    // Starts the cabinet tool; the process watch's list of running processes.
    Launcher* launcher = nullptr;
    const ProcessList* processes = nullptr;
    // Reads the drive map anew from the mount table; null: the map never changes.
    std::function<DriveMap()> readDrives;
};

} // namespace fm
