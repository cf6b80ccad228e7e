#include "platform/profile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {

namespace {

// One line of the text: [begin, end) is its content, [end, eolEnd) its line end ("" for a last
// line without one). The text is walked line by line and never split into copies, so a file of
// hundreds of megabytes costs its own size in memory and nothing per line.
struct LineRef {
    size_t begin = 0, end = 0, eolEnd = 0;
    bool hasEol() const { return eolEnd > end; }
};

// The line starting at `pos`; false at the end of the text.
bool lineAt(std::string_view text, size_t pos, LineRef& line) {
    if (pos >= text.size())
        return false;
    const char* p = text.data() + pos;
    const size_t left = text.size() - pos;
    const void* nl = std::memchr(p, '\n', left);
    const size_t upTo = nl ? static_cast<const char*>(nl) - p : left;
    const void* cr = std::memchr(p, '\r', upTo);
    line.begin = pos;
    if (cr) {
        line.end = pos + (static_cast<const char*>(cr) - p);
        line.eolEnd = line.end + (line.end + 1 < text.size() && text[line.end + 1] == '\n' ? 2 : 1);
    } else {
        line.end = pos + upTo;
        line.eolEnd = nl ? line.end + 1 : line.end;
    }
    return true;
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

// Where a key stands: the first section of that name, its first line with that key, and its last
// non-blank line (the section line itself when it has none); the file's last line too.
struct Location {
    std::optional<LineRef> sectionLine;
    std::optional<LineRef> keyLine;
    std::optional<LineRef> lastContent;
    std::optional<LineRef> lastLine;
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
    Location loc;
    LineRef line;
    bool inSection = false;
    for (size_t pos = 0; lineAt(text, pos, line); pos = line.eolEnd) {
        loc.lastLine = line;
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        // A line can only be a section or a key when its first non-blank character says so;
        // checking that first keeps the walk over a large file cheap.
        const size_t first = content.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        if (content[first] == '[') {
            if (auto s = sectionName(content)) {
                if (inSection)
                    return loc; // lastLine is not needed once the section is found
                if (!loc.sectionLine && equalsNoCase(*s, section)) {
                    inSection = true;
                    loc.sectionLine = line;
                    loc.lastContent = line;
                }
                continue;
            }
        }
        if (!inSection)
            continue;
        loc.lastContent = line;
        if (!loc.keyLine) {
            if (auto k = keyName(content); k && equalsNoCase(*k, key))
                loc.keyLine = line;
        }
    }
    return loc;
}

// The line end a new line after `line` takes: its own, or when it is the last line and has none,
// that of the line before it ("\n" when there is none).
std::string_view eolAfter(std::string_view text, const LineRef& line) {
    if (line.hasEol())
        return text.substr(line.end, line.eolEnd - line.end);
    if (line.begin == 0)
        return "\n";
    if (text[line.begin - 1] == '\n')
        return line.begin >= 2 && text[line.begin - 2] == '\r' ? "\r\n" : "\n";
    return "\r";
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, size_t left) {
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<std::string> ProfileText::get(std::string_view section, std::string_view key) const {
    const Location loc = locate(text_, section, key);
    if (!loc.keyLine)
        return std::nullopt;
    const std::string_view line =
        std::string_view(text_).substr(loc.keyLine->begin, loc.keyLine->end - loc.keyLine->begin);
    std::string_view value = trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool ProfileText::set(std::string_view section, std::string_view key,
                      const std::optional<std::string>& value) {
    const Location loc = locate(text_, section, key);
    if (!value) {
        if (!loc.keyLine)
            return false;
        text_.erase(loc.keyLine->begin, loc.keyLine->eolEnd - loc.keyLine->begin);
        return true;
    }
    // The reader drops blanks around a value and one pair of matching quotes; a value that has
    // either is written in double quotes, so it reads back as it was (a folder may end in a space).
    const bool blankEnds = !value->empty() && trim(*value).size() != value->size();
    const bool quoted = value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
                        value->back() == value->front();
    std::string entry =
        std::string(key) + "=" + (blankEnds || quoted ? '"' + *value + '"' : *value);
    if (loc.keyLine) {
        text_.replace(loc.keyLine->begin, loc.keyLine->end - loc.keyLine->begin, entry);
    } else if (loc.sectionLine) {
        // After the section's last non-blank line, with its line end; a last line without one
        // gets the end of the line before it.
        const LineRef& at = *loc.lastContent;
        const std::string eol(eolAfter(text_, at));
        if (at.hasEol())
            text_.insert(at.eolEnd, entry + eol);
        else
            text_.insert(at.end, eol + entry + eol);
    } else {
        std::string eol = "\n";
        std::string added;
        if (loc.lastLine) {
            eol = eolAfter(text_, *loc.lastLine);
            if (!loc.lastLine->hasEol())
                added = eol;
        }
        added += "[" + std::string(section) + "]" + eol + entry + eol;
        text_ += added;
    }
    return true;
}

std::optional<std::string> ReadProfileFile(const std::string& file, int* error) {
    auto fail = [&](int e) -> std::optional<std::string> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    Fd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL);
    std::string text;
    // One allocation of the size the file has now (plus room for a few edits in place); a file
    // that grows meanwhile is read to its end all the same.
    text.reserve(static_cast<size_t>(st.st_size) + 4096);
    char chunk[65536];
    for (;;) {
        // Into the room already there; a file grown since fstat goes through the chunk, so the
        // text is never reallocated only because the read reached the end.
        const size_t room = text.capacity() - text.size();
        char* into = chunk;
        size_t want = sizeof chunk;
        const size_t at = text.size();
        if (room > 0) {
            text.resize(text.capacity());
            into = text.data() + at;
            want = room;
        }
        ssize_t n = ::read(fd.get(), into, want);
        if (room > 0)
            text.resize(at + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            break;
        if (room == 0)
            text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

bool WriteProfileFile(const std::string& file, std::string_view text) {
    mode_t mode = 0644;
    {
        Fd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (fd.get() >= 0) {
            if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
                IsReadOnlyFor(file, st.st_mode, ::geteuid()))
                return false; // read-only files are left alone, even for a user who could
                              // override that
            mode = st.st_mode & 07777;
        } else if (errno != ENOENT) {
            // Exists but cannot be opened: unreadable to this user, so not replaced either.
            if (::lstat(file.c_str(), &st) == 0)
                return false;
        }
    }
    std::string tmp = file + ".XXXXXX";
    Fd fd(::mkstemp(tmp.data()));
    if (fd.get() < 0)
        return false;
    ::fchmod(fd.get(), mode);
    bool ok = writeAll(fd.get(), text.data(), text.size());
    ok = ::fsync(fd.get()) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), file.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> GetProfileString(const std::string& file, std::string_view section,
                                            std::string_view key) {
    auto text = ReadProfileFile(file);
    if (!text)
        return std::nullopt;
    return ProfileText(std::move(*text)).get(section, key);
}

std::optional<std::string> ApplyProfileWrite(std::string_view text, std::string_view section,
                                             std::string_view key,
                                             const std::optional<std::string>& value) {
    ProfileText profile{std::string(text)};
    if (!profile.set(section, key, value))
        return std::nullopt;
    return profile.text();
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        const std::optional<std::string>& value) {
    int error = 0;
    auto text = ReadProfileFile(file, &error);
    if (!text && error != ENOENT)
        return false;
    if (!text && !value)
        return true; // nothing to delete
    ProfileText profile(text ? std::move(*text) : std::string());
    if (!profile.set(section, key, value))
        return true;
    return WriteProfileFile(file, profile.text());
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
    return !IsHiddenName(path);
}

bool IsHiddenName(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.empty() || name.front() == '.';
}

} // namespace fm
