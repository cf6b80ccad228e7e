#pragma once

// Private copies of records, made to open them or to drag them out: below
// $XDG_CACHE_HOME/fendlemark/ (~/.cache/fendlemark/ when the variable is unset or not absolute),
// in this program's own session folder "session-XXXXXX", one folder "copy-XXXXXX" per open or
// drag, each readable by this user only (0700).
//
// The program holds a lock on its session folder while it runs, so a session whose lock can be
// taken was left by a program that has gone (a crash): those are removed when the next program
// starts, and the program's own session when it ends. Nothing but session folders is ever
// removed, removal never follows a link, and a "fendlemark" folder that is a link or belongs to
// another user is not used at all.

#include <QObject>
#include <cstdint>
#include <string>

namespace fm {

// The most bytes one open or drag copies: beyond it, Extract is the way.
inline constexpr std::uint64_t kCopiesMostBytes = 200ull * 1024 * 1024;

class PrivateCopies : public QObject {
    Q_OBJECT
public:
    // Removes the sessions that programs no longer running left behind.
    explicit PrivateCopies(QObject* parent = nullptr);
    // Removes this program's session.
    ~PrivateCopies() override;

    // A new empty folder for one open or drag (POSIX path); "" when it cannot be made, with
    // `why` saying why in plain words.
    std::string newFolder(std::string* why);

    // $XDG_CACHE_HOME/fendlemark (or ~/.cache/fendlemark).
    static std::string root();
    // This program's session folder, "" until the first newFolder().
    const std::string& session() const { return session_; }

private:
    bool openSession(std::string* why);
    void removeLeftovers();

    std::string session_;
    int lock_ = -1;
};

} // namespace fm
