#include "platform/drive_map.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace fm {

namespace {

bool isUnder(std::string_view path, std::string_view mount) {
    if (mount == "/")
        return !path.empty() && path.front() == '/';
    if (path.substr(0, mount.size()) != mount)
        return false;
    return path.size() == mount.size() || path[mount.size()] == '/';
}

bool isVolumeMount(std::string_view m) {
    for (std::string_view root : {"/media/", "/run/media/", "/mnt/"}) {
        if (m.size() > root.size() && m.substr(0, root.size()) == root)
            return true;
    }
    return false;
}

// Splits on either separator, dropping empty names.
std::vector<std::string_view> splitNames(std::string_view path, bool backslashToo) {
    std::vector<std::string_view> names;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        bool sep = i == path.size() || path[i] == '/' || (backslashToo && path[i] == '\\');
        if (sep) {
            if (i > start)
                names.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return names;
}

} // namespace

std::string Drive::entryText() const {
    std::string s;
    s += letter;
    s += ": [";
    s += mountPath;
    s += ']';
    return s;
}

DriveMap::DriveMap() : DriveMap(std::vector<std::string>{}) {}

DriveMap::DriveMap(const std::vector<std::string>& volumeMounts) {
    drives_.push_back({'c', "/"});
    char letter = 'd';
    for (const auto& m : volumeMounts) {
        if (letter > 'z')
            break;
        drives_.push_back({letter++, m});
    }
}

DriveMap DriveMap::fromMountTable(std::string_view mountsText) {
    std::set<std::string> mounts; // sorted, each once (a mount point can be stacked)
    // The second whitespace-separated field of each line. No streams here: the cabinet tool
    // builds this map at every start, and stream set-up would be a tenth of its start-up time.
    auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t start = 0;
    while (start < mountsText.size()) {
        size_t end = mountsText.find('\n', start);
        if (end == std::string_view::npos)
            end = mountsText.size();
        std::string_view line = mountsText.substr(start, end - start);
        start = end + 1;
        std::string_view fields[2];
        size_t i = 0;
        for (auto& field : fields) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            size_t from = i;
            while (i < line.size() && !isBlank(line[i]))
                ++i;
            field = line.substr(from, i - from);
        }
        if (fields[1].empty())
            continue;
        std::string m = unescapeMountField(fields[1]);
        while (m.size() > 1 && m.back() == '/')
            m.pop_back();
        if (isVolumeMount(m))
            mounts.insert(m);
    }
    return DriveMap(std::vector<std::string>(mounts.begin(), mounts.end()));
}

DriveMap DriveMap::system() {
    int fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return DriveMap();
    std::string text;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return fromMountTable(text);
}

const Drive* DriveMap::find(char letter) const {
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    for (const auto& d : drives_) {
        if (d.letter == l)
            return &d;
    }
    return nullptr;
}

bool DriveMap::hasDriveDesignation(std::string_view path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           static_cast<unsigned char>(path[0]) < 0x80 && path[1] == ':';
}

bool DriveMap::isBareDrive(std::string_view text) {
    return hasDriveDesignation(text) && (text.size() == 2 || text[2] == ' ');
}

std::optional<std::string> DriveMap::toPosix(std::string_view drivePath) const {
    if (!hasDriveDesignation(drivePath))
        return std::nullopt;
    const Drive* d = find(drivePath[0]);
    if (!d)
        return std::nullopt;
    std::string_view rest = drivePath.substr(2);
    bool trailing = !rest.empty() && (rest.back() == '\\' || rest.back() == '/');
    std::string out = d->mountPath == "/" ? std::string() : d->mountPath;
    for (auto name : splitNames(rest, true)) {
        out += '/';
        out += name;
    }
    if (out.empty())
        return std::string("/");
    if (trailing)
        out += '/';
    return out;
}

std::optional<std::string> DriveMap::toDrive(std::string_view posixPath) const {
    const Drive* d = driveOf(posixPath);
    if (!d)
        return std::nullopt;
    std::string_view rest = d->mountPath == "/" ? posixPath : posixPath.substr(d->mountPath.size());
    std::string out;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(d->letter)));
    out += ':';
    auto names = splitNames(rest, false);
    if (names.empty())
        return out + '\\';
    for (auto name : names) {
        if (name.find('\\') != std::string_view::npos)
            return std::nullopt;
        out += '\\';
        out += name;
    }
    return out;
}

std::optional<std::string> DriveMap::typedToDrive(std::string_view typed,
                                                  std::string_view home) const {
    const auto first = typed.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    typed = typed.substr(first, typed.find_last_not_of(' ') + 1 - first);
    std::string posix;
    if (typed == "~" || typed.starts_with("~/")) {
        if (!home.starts_with('/'))
            return std::nullopt;
        posix = std::string(home) + std::string(typed.substr(1));
    } else if (typed.starts_with('/'))
        posix = typed;
    else
        return std::nullopt;
    auto drive = toDrive(posix);
    if (drive && posix.ends_with('/') && !drive->ends_with('\\'))
        *drive += '\\';
    return drive;
}

std::string DriveMap::toPosixAny(std::string_view path) const {
    if (auto p = toPosix(path))
        return *p;
    return std::string(path);
}

const Drive* DriveMap::driveOf(std::string_view posixPath) const {
    if (posixPath.empty() || posixPath.front() != '/')
        return nullptr;
    const Drive* best = nullptr;
    for (const auto& d : drives_) {
        if (isUnder(posixPath, d.mountPath) &&
            (!best || d.mountPath.size() > best->mountPath.size()))
            best = &d;
    }
    return best;
}

std::optional<std::string> DriveMap::currentFolder(char letter,
                                                   std::string_view workingFolder) const {
    const Drive* d = find(letter);
    if (!d)
        return std::nullopt;
    if (driveOf(workingFolder) == d) {
        if (auto p = toDrive(workingFolder))
            return p;
    }
    std::string root;
    root += static_cast<char>(std::toupper(static_cast<unsigned char>(d->letter)));
    root += ":\\";
    return root;
}

std::string unescapeMountField(std::string_view field) {
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && oct(field[i + 1]) && oct(field[i + 2]) &&
            oct(field[i + 3])) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

} // namespace fm
