#include "tool_runner.h"

#include <cstdlib>
#include <sys/wait.h>

namespace fm::test {

ToolRun runProgram(const std::string& program, const Strings& args, const std::string& folder) {
    auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s)
            q.append(c == '\'' ? "'\\''" : std::string(1, c));
        return q.append("'");
    };
    TempDir capture;
    std::string command = "cd " + quoted(folder) + " && " + quoted(program);
    for (const auto& a : args)
        command.append(" ").append(quoted(a));
    command.append(" >").append(capture.file("out")).append(" 2>").append(capture.file("err"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(capture.file("out")),
            readFile(capture.file("err"))};
}

std::string treeOf(const std::string& folder) {
    Strings entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = it->path().lexically_relative(folder).generic_string();
        entries.push_back(it->is_directory() && !it->is_symlink() ? rel + '/' : rel);
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const auto& e : entries)
        text += (text.empty() ? "" : " ") + e;
    return text;
}

std::string sampleData(size_t size, unsigned seed, bool noise) {
    std::string s;
    for (unsigned x = seed * 2654435761u + 1; s.size() < size;) {
        x = x * 1103515245u + 12345u;
        if (noise)
            s += static_cast<char>(x >> 24);
        else
            s.append("line ").append(std::to_string(x % 1000)).append(1, 'a' + seed % 26) += '\n';
    }
    return s.substr(0, size);
}

CabPlan namedPlan(const Strings& names) {
    CabPlan plan;
    for (const auto& n : names)
        plan.files.push_back(cabFile(n, "data of " + n));
    return plan;
}

size_t blockOffset(const std::string& cab, const CabPlan& plan, int n) {
    size_t at = layoutOf(plan).firstDataBlock;
    for (int b = 0; b < n; ++b)
        at += 8 + static_cast<unsigned char>(cab[at + 4]) +
              256 * static_cast<unsigned char>(cab[at + 5]);
    return at;
}

ToolRun ToolTest::run(const Strings& args) const {
    fm::tool::StringOut o, e;
    int status = fm::tool::RunTool(args, env, o, e);
    return {status, o.text(), e.text()};
}

} // namespace fm::test
