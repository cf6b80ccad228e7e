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
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace fm {

class frmFendlemark;

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

    // Remembers that a copy folder holds a record of `cabinet` (POSIX), so that what is made of
    // it goes beside the real file: for a cabinet that is a private copy itself, the real file
    // that one came from.
    void remember(const std::string& copyFolder, const std::string& cabinet);
    // The place a POSIX path stands for: the path itself outside the private copies; inside a
    // remembered copy folder, the same place in the folder of its real file; nullopt anywhere
    // else among the private copies, which go when the program ends.
    std::optional<std::string> realPlace(const std::string& posix) const;

    // $XDG_CACHE_HOME/fendlemark (or ~/.cache/fendlemark).
    static std::string root();
    // This program's session folder, "" until the first newFolder().
    const std::string& session() const { return session_; }

private:
    bool openSession(std::string* why);
    void removeLeftovers();

    std::string session_;
    int lock_ = -1;
    std::map<std::string, std::string> realFiles_; // copy folder -> the real file it came from
};

// realPlace for a path in drive form, through the window's drive map and private copies: a path
// that is no place among the copies comes back as it is.
std::optional<QString> RealPlaceText(const frmFendlemark& w, const QString& drivePath);

} // namespace fm
