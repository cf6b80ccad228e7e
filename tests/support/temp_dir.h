#pragma once

#include <string>

namespace fm::test {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;

private:
    std::string path_;
};

// Writes bytes to a file, creating missing parent folders. Throws on failure.
void writeFile(const std::string& path, const std::string& bytes);
// Reads a whole file; throws when it cannot be read.
std::string readFile(const std::string& path);

// The shared folder beside the repository (FM_SHARED_DIR), or "" when absent.
std::string sharedDir();

} // namespace fm::test
