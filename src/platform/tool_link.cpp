#include "platform/tool_link.h"

#include "platform/cabinet_directory.h"
#include "platform/drive_map.h"

#include <charconv>

namespace fm {

namespace {

constexpr std::string_view kFirstLine = "fendlemark-link 1";

bool escaped(unsigned char c) {
    return c <= ' ' || c == '\\' || c == 0x7f;
}

void appendField(std::string& out, std::string_view field) {
    for (char ch : field) {
        const auto c = static_cast<unsigned char>(ch);
        if (!escaped(c)) {
            out += ch;
            continue;
        }
        out += '\\';
        out += static_cast<char>('0' + (c >> 6));
        out += static_cast<char>('0' + ((c >> 3) & 7));
        out += static_cast<char>('0' + (c & 7));
    }
}

std::optional<std::string> readField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (i + 3 >= field.size())
            return std::nullopt;
        int value = 0;
        for (size_t k = 1; k <= 3; ++k) {
            const char d = field[i + k];
            if (d < '0' || d > '7')
                return std::nullopt;
            value = value * 8 + (d - '0');
        }
        if (value > 0xff)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 3;
    }
    return out;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isControl(char c) {
    return (c >= 1 && c <= 31) || c == 127;
}

} // namespace

DriveMap ToolLink::drives() const {
    return DriveMap(driveMounts);
}

std::vector<std::string> ToolLink::mountsOf(const DriveMap& drives) {
    std::vector<std::string> mounts;
    for (const Drive& d : drives.drives())
        if (d.letter != 'c')
            mounts.push_back(d.mountPath);
    return mounts;
}

std::string WriteToolLink(const ToolLink& link) {
    std::string out(kFirstLine);
    out += '\n';
    if (link.codePage != 1252)
        out += "codepage " + std::to_string(link.codePage) + '\n';
    char letter = 'd';
    for (const std::string& mount : link.driveMounts) {
        out += "drive ";
        out += letter++;
        out += ' ';
        appendField(out, mount);
        out += '\n';
    }
    if (!link.sourceStream.empty()) {
        out += "source stream ";
        appendField(out, link.sourceStream);
        out += '\n';
    } else if (link.sourceOffset != 0) {
        out += "source offset " + std::to_string(link.sourceOffset) + '\n';
    }
    for (const LinkedRecord& r : link.records) {
        out += "file ";
        out += std::to_string(r.index);
        out += ' ';
        appendField(out, r.name);
        out += '\n';
    }
    if (link.allRecords)
        out += "files " + std::to_string(link.records.size()) + " all\n";
    return out;
}

std::optional<ToolLink> ReadToolLink(std::string_view text, std::string* error) {
    auto refuse = [&](std::string why) -> std::optional<ToolLink> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    ToolLink link;
    size_t lineNumber = 0;
    bool sawSource = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return refuse("the link's last line is not complete");
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::string where = "link line " + std::to_string(++lineNumber) + ": ";
        if (lineNumber == 1) {
            if (line != kFirstLine)
                return refuse("not a link of this version");
            continue;
        }
        if (link.allRecords)
            return refuse(where + "a line after the end of the file lines");
        if (line.starts_with("codepage ")) {
            const std::string_view number = line.substr(9);
            int codePage = 0;
            auto [end2, ec] =
                std::from_chars(number.data(), number.data() + number.size(), codePage);
            if (lineNumber != 2 || ec != std::errc() || end2 != number.data() + number.size() ||
                !IsNameCodePage(codePage))
                return refuse(where + "a code page that is unknown or out of place");
            link.codePage = codePage;
            continue;
        }
        const size_t s1 = line.find(' ');
        const size_t s2 = s1 == std::string_view::npos ? s1 : line.find(' ', s1 + 1);
        if (s2 == std::string_view::npos)
            return refuse(where + "too few fields");
        const std::string_view kind = line.substr(0, s1);
        const std::string_view key = line.substr(s1 + 1, s2 - s1 - 1);
        auto value = readField(line.substr(s2 + 1));
        if (!value)
            return refuse(where + "a broken escape");
        if (kind == "drive") {
            const char expected = static_cast<char>('d' + link.driveMounts.size());
            if (!link.records.empty() || key.size() != 1 || key[0] != expected || expected > 'z')
                return refuse(where + "a drive out of order");
            if (value->empty() || value->front() != '/')
                return refuse(where + "a mount path that is not absolute");
            link.driveMounts.push_back(std::move(*value));
        } else if (kind == "source") {
            std::uint64_t offset = 0;
            const auto [end2, ec] =
                std::from_chars(value->data(), value->data() + value->size(), offset);
            const bool number = ec == std::errc() && end2 == value->data() + value->size() &&
                                offset != 0 && (*value)[0] != '0';
            if (!link.records.empty() || sawSource ||
                !(key == "stream" ? !value->empty() : key == "offset" && number))
                return refuse(where + "a cabinet's place in its file that is unknown or out of "
                                      "place");
            sawSource = true;
            if (key == "stream")
                link.sourceStream = std::move(*value);
            else
                link.sourceOffset = offset;
        } else if (kind == "file") {
            std::uint32_t index = 0;
            auto [end2, ec] = std::from_chars(key.data(), key.data() + key.size(), index);
            if (ec != std::errc() || end2 != key.data() + key.size() || key.empty() ||
                (key.size() > 1 && key[0] == '0'))
                return refuse(where + "a bad record number");
            link.records.push_back({index, std::move(*value)});
        } else if (kind == "files") {
            if (*value != "all" || key != std::to_string(link.records.size()))
                return refuse(where + "a count that is not the number of file lines");
            link.allRecords = true;
        } else {
            return refuse(where + "an unknown line");
        }
    }
    if (lineNumber == 0)
        return refuse("the link is empty");
    return link;
}

std::string QuoteArgument(std::string_view text) {
    std::string out(1, '"');
    size_t slashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    out += '"';
    return out;
}

std::string PathArgument(std::string_view path) {
    const bool split = path.find_first_of(" \t\"") != std::string_view::npos || path.empty();
    return split ? QuoteArgument(path) : std::string(path);
}

std::vector<std::string> OutputNameParts(std::string_view name) {
    // Strip what would anchor the name elsewhere: "\\", "C:", "C:\", "\C:\..." in any mix.
    for (;;) {
        const size_t before = name.size();
        while (!name.empty() && isSeparator(name.front()))
            name.remove_prefix(1);
        if (DriveMap::hasDriveDesignation(name))
            name.remove_prefix(2);
        if (name.size() == before)
            break;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isSeparator(name[i]))
            continue;
        const std::string_view part = name.substr(start, i - start);
        if (!part.empty() && part != "." && part != "..") {
            std::string& p = parts.emplace_back(part);
            for (char& c : p)
                if (isControl(c))
                    c = '_';
        }
        start = i + 1;
    }
    return parts;
}

std::string OutputPath(std::string_view storedName, bool keepFolders) {
    std::vector<std::string> parts = OutputNameParts(storedName);
    if (parts.empty())
        return {};
    if (!keepFolders)
        return parts.back();
    std::string path = parts.front();
    for (size_t i = 1; i < parts.size(); ++i)
        path += '/' + parts[i];
    return path;
}

} // namespace fm
