#include "problem_words.h"

#include <mspack.h>

#include <cerrno>
#include <cstring>

namespace fm::tool {

std::string ErrnoWords(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return "no space left on the device";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EROFS:
        return "the device is read-only";
    case ENOENT:
        return "no longer exists";
    case EIO:
        return "the device reported a read or write error";
    case ENAMETOOLONG:
        return "the name is too long";
    case EINVAL:
    case EILSEQ:
        return "the device does not accept this name";
    case EEXIST:
    case EISDIR:
    case ENOTDIR:
    case ELOOP:
        return "another file, folder or link is in the way";
    case EMFILE:
    case ENFILE:
        return "too many open files";
    case ENOMEM:
        return "out of memory";
    case EFBIG:
        return "the file is too large for the device";
    case EINTR:
        return "stopped";
    default: {
        std::string text = std::strerror(error);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }
    }
}

std::string MspackWords(int code) {
    switch (code) {
    case MSPACK_ERR_CHECKSUM:
        return "damaged (bad checksum in a data block)";
    case MSPACK_ERR_DECRUNCH:
        return "damaged (compressed data that cannot be decoded)";
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
        return "damaged (the cabinet is cut short)";
    case MSPACK_ERR_OPEN:
        return "no longer exists";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    case MSPACK_ERR_WRITE:
        return "cannot be written";
    default:
        return "damaged (its data does not match the cabinet's tables)";
    }
}

std::string CabinetMspackWords(int code) {
    switch (code) {
    case MSPACK_ERR_SIGNATURE:
        return "not a cabinet";
    case MSPACK_ERR_OPEN:
        return "no longer exists";
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
        return "damaged (the cabinet is cut short)";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    default:
        return "damaged (its tables cannot be read)";
    }
}

} // namespace fm::tool
