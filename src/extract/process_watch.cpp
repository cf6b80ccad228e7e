#include "extract/process_watch.h"

#include "platform/path_text.h"
#include "platform/process_list.h"

#include <algorithm>

namespace fm {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool ExeRunning(const ProcessList& processes, const QString& text) {
    // Names are bytes; the text goes the same way, so a name that is not UTF-8 is still searched.
    const std::string wanted = TextToPath(text);
    bool found = false;
    processes.visit([&](std::string_view name) {
        found = std::search(name.begin(), name.end(), wanted.begin(), wanted.end(),
                            [](char a, char b) { return lower(a) == lower(b); }) != name.end();
        return found;
    });
    return found;
}

} // namespace fm
