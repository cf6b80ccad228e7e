#include "platform/profile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fm {

namespace {

// One line of the file and the line end it had ("" for a last line without one).
struct Line {
    std::string text;
    std::string eol;
};

std::vector<Line> parse(std::string_view text) {
    std::vector<Line> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n' || c == '\r') {
            size_t len = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            lines.push_back(
                {std::string(text.substr(start, i - start)), std::string(text.substr(i, len))});
            i += len;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.push_back({std::string(text.substr(start)), std::string()});
    return lines;
}

// Inserts a line after `at` (or first when the file is empty); it takes the line end of the line
// before it, which gets one of its own if it was the last line and had none.
void insertAfter(std::vector<Line>& lines, std::optional<size_t> at, std::string text) {
    if (!at) {
        lines.insert(lines.begin(), {std::move(text), "\n"});
        return;
    }
    Line& before = lines[*at];
    if (before.eol.empty()) {
        before.eol = "\n";
        for (size_t i = *at; i-- > 0;)
            if (!lines[i].eol.empty()) {
                before.eol = lines[i].eol;
                break;
            }
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*at + 1),
                 {std::move(text), before.eol});
}

std::string_view trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    // An empty name may have no storage at all; strncasecmp must not see it.
    if (a.size() != b.size())
        return false;
    return a.empty() || strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// The key of a "key=value" line, or nullopt for comments and lines without '='.
std::optional<std::string_view> keyName(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return trim(t.substr(0, eq));
}

struct Location {
    std::optional<size_t> sectionLine;
    size_t sectionEnd = 0; // one past the section's last line
    std::optional<size_t> keyLine;
    std::optional<size_t> lastContent; // last non-blank line of the section
};

Location locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location loc;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto s = sectionName(lines[i].text)) {
            if (loc.sectionLine) {
                loc.sectionEnd = i;
                return loc;
            }
            if (equalsNoCase(*s, section)) {
                loc.sectionLine = i;
                loc.lastContent = i;
            }
            continue;
        }
        if (!loc.sectionLine)
            continue;
        if (!trim(lines[i].text).empty())
            loc.lastContent = i;
        if (!loc.keyLine) {
            if (auto k = keyName(lines[i].text); k && equalsNoCase(*k, key))
                loc.keyLine = i;
        }
    }
    loc.sectionEnd = lines.size();
    return loc;
}

std::optional<std::string> readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return std::nullopt;
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace

std::optional<std::string> GetProfileString(const std::string& file, std::string_view section,
                                            std::string_view key) {
    auto text = readAll(file);
    if (!text)
        return std::nullopt;
    std::vector<Line> lines = parse(*text);
    Location loc = locate(lines, section, key);
    if (!loc.keyLine)
        return std::nullopt;
    std::string_view line = lines[*loc.keyLine].text;
    std::string_view value = trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::optional<std::string> ApplyProfileWrite(std::string_view text, std::string_view section,
                                             std::string_view key,
                                             const std::optional<std::string>& value) {
    std::vector<Line> lines = parse(text);
    Location loc = locate(lines, section, key);
    if (!value) {
        if (!loc.keyLine)
            return std::nullopt;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*loc.keyLine));
    } else {
        std::string entry = std::string(key) + "=" + *value;
        if (loc.keyLine) {
            lines[*loc.keyLine].text = entry;
        } else if (loc.sectionLine) {
            insertAfter(lines, loc.lastContent, entry);
        } else {
            std::optional<size_t> last;
            if (!lines.empty())
                last = lines.size() - 1;
            insertAfter(lines, last, "[" + std::string(section) + "]");
            insertAfter(lines, lines.size() - 1, entry);
        }
    }
    std::string out;
    for (const Line& l : lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        const std::optional<std::string>& value) {
    struct stat st {};
    bool exists = ::stat(file.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || IsReadOnlyFor(file, st.st_mode, ::geteuid())))
        return false; // read-only files are left alone, even for a user who could override that
    std::string old;
    if (exists) {
        auto text = readAll(file);
        if (!text)
            return false;
        old = std::move(*text);
    } else if (!value) {
        return true; // nothing to delete
    }
    auto updated = ApplyProfileWrite(old, section, key, value);
    if (!updated)
        return true;

    std::string tmp = file + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
    const char* data = updated->data();
    size_t left = updated->size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), file.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool IsReadOnlyFor(const std::string& file, unsigned mode, unsigned uid) {
    // Root may write anything, so for root only a file without any write bit counts as
    // read-only; everyone else asks the system whether they may write it.
    if (uid == 0)
        return (mode & 0222) == 0;
    return ::access(file.c_str(), W_OK) != 0;
}

bool IsOrdinaryFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string::npos ? std::string_view(path)
                                                       : std::string_view(path).substr(slash + 1);
    return !name.empty() && name.front() != '.';
}

} // namespace fm
