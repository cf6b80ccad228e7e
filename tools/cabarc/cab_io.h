#pragma once

// The file access libmspack works through.
//
// libmspack opens everything by name through a `struct mspack_system`. This one reads cabinets
// with large buffered reads, and never creates a file for output: the only name it opens for
// writing is the one outputName() hands out, which goes to the PendingFile the caller set up
// (created, checked and renamed into place by the caller). The library's messages are kept for
// the caller's error lines instead of being printed.

#include <mspack.h>

#include <string>

namespace fm::tool {

class PendingFile;
class CabIo;

// The mspack_system handed to libmspack, with a way back to its CabIo.
struct CabIoSystem {
    mspack_system base;
    CabIo* owner;
};

class CabIo {
public:
    CabIo();
    ~CabIo();
    CabIo(const CabIo&) = delete;
    CabIo& operator=(const CabIo&) = delete;

    mspack_system* system() { return &system_.base; }

    // The file name to pass to extract(): its output goes to `target` (not owned).
    const char* outputName(PendingFile* target);
    void clearOutput() { target_ = nullptr; }

    // The library's last message since takeMessage() was called, then "".
    std::string takeMessage();

    // Handlers behind the mspack_system (public only for the C callbacks).
    PendingFile* target() const { return target_; }
    void setMessage(std::string text) { message_ = std::move(text); }

private:
    CabIoSystem system_;
    PendingFile* target_ = nullptr;
    std::string message_;
};

// Opens a cabinet file for reading. The open never blocks (a FIFO or a device named like a
// cabinet would otherwise wait for ever), and only a regular file is accepted. -1 on failure,
// with `why` (when given) saying what is wrong.
int OpenCabinetFile(const std::string& posixPath, std::string* why = nullptr);

// Text for a libmspack error code.
const char* MspackErrorText(int code);

} // namespace fm::tool
