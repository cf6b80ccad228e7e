#pragma once

// The services the windows use, in one bundle, so tests can put fakes in their place.

#include <QString>

namespace fm {

class DriveMap;
class Launcher;
class ProcessList;
class Prompt;
class Screen;

struct Platform {
    const DriveMap* drives = nullptr;
    Prompt* prompt = nullptr;
    const Screen* screen = nullptr;
    // The program's own folder as a POSIX path turned into text by PathToText (where
    // Fendlemark.ini lives).
    QString programFolder;
    // Starts the cabinet tool; the process watch's list of running processes.
    Launcher* launcher = nullptr;
    const ProcessList* processes = nullptr;
};

} // namespace fm
