#include "extract/private_copies.h"

#include "app/main_window.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/working_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {

namespace {

constexpr char kSessionPrefix[] = "session-";

// The root made when missing, and accepted only as a real folder of this user's.
bool usableRoot(const std::string& root, std::string* why) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(root).parent_path(), ec);
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = "the folder " + root + " cannot be made: " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0) {
        *why = "the folder " + root + " cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        *why = "the folder " + root +
               (S_ISLNK(st.st_mode) ? " is a link, not a folder" : " is not a folder of yours") +
               ", so it is not used for private copies";
        return false;
    }
    return true;
}

// Separators collapsed, no trailing one: the form a path takes after a trip through drive form.
std::string plain(const std::string& path) {
    std::string out = std::filesystem::path(path).lexically_normal().string();
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

bool isUnder(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

PrivateCopies::PrivateCopies(QObject* parent) : QObject(parent) {
    removeLeftovers();
}

PrivateCopies::~PrivateCopies() {
    if (session_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(session_, ec);
    ::close(lock_);
}

std::string PrivateCopies::root() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string home = HomeFolder();
    const std::string base =
        cache && *cache == '/' ? cache : (home.empty() ? "/tmp" : home) + "/.cache";
    return base + "/fendlemark";
}

void PrivateCopies::removeLeftovers() {
    const std::string top = root();
    struct stat st {};
    if (::lstat(top.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return;
    DIR* dir = ::opendir(top.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, kSessionPrefix, sizeof kSessionPrefix - 1) != 0)
            continue;
        const std::string path = top + '/' + e->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue; // a link or anything but a folder: not ours to touch
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

bool PrivateCopies::openSession(std::string* why) {
    const std::string top = root();
    if (!usableRoot(top, why))
        return false;
    std::string name = top + '/' + kSessionPrefix + "XXXXXX";
    if (!::mkdtemp(name.data())) {
        *why = "the folder " + top + " cannot be written to: " + std::strerror(errno);
        return false;
    }
    lock_ = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        *why = "the folder " + name + " cannot be locked: " + std::strerror(errno);
        if (lock_ >= 0)
            ::close(lock_);
        lock_ = -1;
        ::rmdir(name.c_str());
        return false;
    }
    session_ = std::move(name);
    return true;
}

std::string PrivateCopies::newFolder(std::string* why) {
    if (session_.empty() && !openSession(why))
        return {};
    std::string name = session_ + "/copy-XXXXXX";
    if (!::mkdtemp(name.data())) {
        *why = "the folder " + session_ + " cannot be written to: " + std::strerror(errno);
        return {};
    }
    return name;
}

void PrivateCopies::remember(const std::string& copyFolder, const std::string& cabinet) {
    std::string real = plain(cabinet);
    for (const auto& [folder, file] : realFiles_)
        if (isUnder(real, folder))
            real = file;
    realFiles_[plain(copyFolder)] = real;
}

std::optional<std::string> PrivateCopies::realPlace(const std::string& posix) const {
    const std::string path = plain(posix);
    if (!isUnder(path, plain(root())))
        return posix;
    for (const auto& [folder, file] : realFiles_)
        if (isUnder(path, folder)) {
            const std::string rest = path.substr(folder.size());
            const std::string beside = file.substr(0, file.rfind('/'));
            return beside.empty() && rest.empty() ? "/" : beside + rest;
        }
    return std::nullopt;
}

std::optional<QString> RealPlaceText(const frmFendlemark& w, const QString& drivePath) {
    const DriveMap& drives = *w.platform().drives;
    const auto* copies = w.findChild<PrivateCopies*>();
    const auto posix = drives.toPosix(TextToPath(drivePath));
    if (!copies || !posix)
        return drivePath;
    const auto real = copies->realPlace(*posix);
    if (!real)
        return std::nullopt;
    if (*real == *posix)
        return drivePath;
    const auto shown = drives.toDrive(*real);
    return shown ? std::optional<QString>(PathToText(*shown)) : std::nullopt;
}

} // namespace fm
