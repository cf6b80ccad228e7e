#pragma once

// What went wrong, in the words a user of the program reads.
//
// When the program launches the tool (with a link), every line the tool writes to standard error
// ends up in front of that user, after the cabinet's name: "damaged (bad checksum in a data
// block)", "docs\a.txt: no space left on the device". These are the only translations of
// system and library error codes into such words, so the same fault always reads the same.

#include <string>

namespace fm::tool {

// An errno value while reading or writing files.
std::string ErrnoWords(int error);

// A libmspack error code met while decoding a file (MSPACK_ERR_WRITE: ask ErrnoWords instead).
std::string MspackWords(int code);

// A libmspack error code met while opening a cabinet.
std::string CabinetMspackWords(int code);

} // namespace fm::tool
