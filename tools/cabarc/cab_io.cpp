#include "cab_io.h"

#include "output_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::tool {

namespace {

// The name extract() gets; compared by address, never opened as a file.
const char kOutputName[] = "<output>";
constexpr size_t kReadBuffer = 64 * 1024; // small enough to come from the heap

struct Handle {
    bool output = false;
};

struct OutputHandle : Handle {
    PendingFile* target = nullptr;
};

// A cabinet opened for reading: positioned reads served from one buffer.
struct InputHandle : Handle {
    int fd = -1;
    off_t position = 0;    // the reader's logical offset
    off_t bufferStart = 0; // file offset of buffer[0]
    size_t bufferLength = 0;
    char* buffer = nullptr;
};

// message() gets no mspack_system, and its file may be null: messages go to the newest CabIo.
// The tool is single-threaded and has one CabIo at a time.
CabIo* messageSink = nullptr;

CabIo* ownerOf(mspack_system* self) {
    return reinterpret_cast<CabIoSystem*>(self)->owner;
}

mspack_file* sysOpen(mspack_system* self, const char* filename, int mode) {
    CabIo* io = ownerOf(self);
    if (mode == MSPACK_SYS_OPEN_WRITE) {
        if (filename != kOutputName || !io->target())
            return nullptr;
        auto* h = new OutputHandle;
        h->output = true;
        h->target = io->target();
        return reinterpret_cast<mspack_file*>(static_cast<Handle*>(h));
    }
    if (mode != MSPACK_SYS_OPEN_READ)
        return nullptr;
    int fd = OpenCabinetFile(filename);
    if (fd < 0)
        return nullptr;
    auto* h = new InputHandle;
    h->fd = fd;
    h->buffer = static_cast<char*>(std::malloc(kReadBuffer));
    if (!h->buffer) {
        ::close(fd);
        delete h;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(static_cast<Handle*>(h));
}

void sysClose(mspack_file* file) {
    auto* h = reinterpret_cast<Handle*>(file);
    if (!h)
        return;
    if (h->output) {
        delete static_cast<OutputHandle*>(h);
        return;
    }
    auto* in = static_cast<InputHandle*>(h);
    ::close(in->fd);
    std::free(in->buffer);
    delete in;
}

int sysRead(mspack_file* file, void* buffer, int bytes) {
    auto* h = reinterpret_cast<Handle*>(file);
    if (!h || h->output || bytes < 0)
        return -1;
    auto* in = static_cast<InputHandle*>(h);
    char* out = static_cast<char*>(buffer);
    size_t want = static_cast<size_t>(bytes);
    size_t done = 0;
    while (done < want) {
        off_t end = in->bufferStart + static_cast<off_t>(in->bufferLength);
        if (in->position >= in->bufferStart && in->position < end) {
            size_t at = static_cast<size_t>(in->position - in->bufferStart);
            size_t n = std::min(want - done, in->bufferLength - at);
            std::memcpy(out + done, in->buffer + at, n);
            done += n;
            in->position += static_cast<off_t>(n);
            continue;
        }
        ssize_t n;
        do {
            n = ::pread(in->fd, in->buffer, kReadBuffer, in->position);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            return done ? static_cast<int>(done) : -1;
        in->bufferStart = in->position;
        in->bufferLength = static_cast<size_t>(n);
        if (n == 0)
            break;
    }
    return static_cast<int>(done);
}

int sysWrite(mspack_file* file, void* buffer, int bytes) {
    auto* h = reinterpret_cast<Handle*>(file);
    if (!h || !h->output || bytes < 0)
        return -1;
    auto* out = static_cast<OutputHandle*>(h);
    return out->target->write(buffer, static_cast<size_t>(bytes)) ? bytes : -1;
}

int sysSeek(mspack_file* file, off_t offset, int mode) {
    auto* h = reinterpret_cast<Handle*>(file);
    if (!h || h->output)
        return -1;
    auto* in = static_cast<InputHandle*>(h);
    off_t base = 0;
    switch (mode) {
    case MSPACK_SYS_SEEK_START:
        break;
    case MSPACK_SYS_SEEK_CUR:
        base = in->position;
        break;
    case MSPACK_SYS_SEEK_END: {
        struct stat st;
        if (::fstat(in->fd, &st) != 0)
            return -1;
        base = st.st_size;
        break;
    }
    default:
        return -1;
    }
    if (base + offset < 0)
        return -1;
    in->position = base + offset;
    return 0;
}

off_t sysTell(mspack_file* file) {
    auto* h = reinterpret_cast<Handle*>(file);
    if (!h || h->output)
        return -1;
    return static_cast<InputHandle*>(h)->position;
}

void sysMessage(mspack_file*, const char* format, ...) {
    if (!messageSink)
        return;
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    messageSink->setMessage(text);
}

void* sysAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}
void sysFree(void* p) {
    std::free(p);
}
void sysCopy(void* src, void* dest, size_t bytes) {
    std::memcpy(dest, src, bytes);
}

} // namespace

CabIo::CabIo() {
    system_.base = mspack_system{sysOpen,    sysClose, sysRead, sysWrite, sysSeek, sysTell,
                                 sysMessage, sysAlloc, sysFree, sysCopy,  nullptr};
    system_.owner = this;
    messageSink = this;
}

CabIo::~CabIo() {
    if (messageSink == this)
        messageSink = nullptr;
}

const char* CabIo::outputName(PendingFile* target) {
    target_ = target;
    return kOutputName;
}

std::string CabIo::takeMessage() {
    std::string m;
    m.swap(message_);
    return m;
}

int OpenCabinetFile(const std::string& posixPath, std::string* why) {
    int fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (why)
            *why = std::strerror(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (why)
            *why = "not a regular file";
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

const char* MspackErrorText(int code) {
    switch (code) {
    case MSPACK_ERR_OK:
        return "no error";
    case MSPACK_ERR_ARGS:
        return "bad arguments to the decompressor";
    case MSPACK_ERR_OPEN:
        return "cannot open the file";
    case MSPACK_ERR_READ:
        return "read error";
    case MSPACK_ERR_WRITE:
        return "write error";
    case MSPACK_ERR_SEEK:
        return "seek error";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    case MSPACK_ERR_SIGNATURE:
        return "not a cabinet (bad signature)";
    case MSPACK_ERR_DATAFORMAT:
        return "damaged or unsupported cabinet data";
    case MSPACK_ERR_CHECKSUM:
        return "checksum mismatch in compressed data";
    case MSPACK_ERR_CRUNCH:
        return "compression error";
    case MSPACK_ERR_DECRUNCH:
        return "damaged compressed data";
    default:
        return "unknown error";
    }
}

} // namespace fm::tool
