#pragma once

// Where the tool's text goes: standard output and error in the program, strings in tests.
// Deliberately not an iostream: the tool is started for every extraction, and setting up the
// C++ streams and their locale costs it about a tenth of its start-up.

#include <string>
#include <string_view>

namespace fm::tool {

class TextOut {
public:
    virtual ~TextOut() = default;
    virtual void write(std::string_view text) = 0;
    virtual void flush() {}
};

inline TextOut& operator<<(TextOut& out, std::string_view text) {
    out.write(text);
    return out;
}

// Collects the text.
class StringOut : public TextOut {
public:
    void write(std::string_view text) override { text_.append(text); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Writes to a file descriptor through a buffer; flushed when full, on flush() and at the end.
class FdOut : public TextOut {
public:
    explicit FdOut(int fd) : fd_(fd) {}
    ~FdOut() override { flush(); }
    FdOut(const FdOut&) = delete;
    FdOut& operator=(const FdOut&) = delete;
    void write(std::string_view text) override;
    void flush() override;

private:
    int fd_;
    std::string buffer_;
};

} // namespace fm::tool
