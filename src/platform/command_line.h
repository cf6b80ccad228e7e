#pragma once

// Splitting a parameter string into arguments.
//
// The program hands the cabinet tool one parameter string, as a Windows program passes it to
// ShellExecute; the child then sees the arguments its C runtime builds from that string. The
// launcher and the tool's tests split with this one function, so both agree on every quote and
// backslash.

#include <string>
#include <string_view>
#include <vector>

namespace fm {

// The arguments the Windows C runtime (2008 and later) builds from `parameters`, the text after
// the program name:
//  - arguments are separated by runs of spaces and tabs; leading and trailing runs yield nothing;
//  - a double quote starts or ends quoted text, in which spaces and tabs are kept; the quotes
//    themselves are dropped, so "" alone is an empty argument and a"b c"d is one argument;
//  - inside quoted text, "" is one literal quote and the text stays quoted;
//  - 2n backslashes before a quote give n backslashes and the quote keeps its meaning;
//    2n+1 backslashes before a quote give n backslashes and a literal quote;
//  - backslashes not followed by a quote are kept as they are (C:\Temp\ stays C:\Temp\).
// The text ends at the first NUL character, as a C string would.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

} // namespace fm
