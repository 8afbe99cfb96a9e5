#pragma once

#include <iosfwd>

namespace nv::tools {

// The launcher's Start sequence in the terminal: prints the count, the
// identifiers and the program it starts (or, with dry_run, would start), or
// the launcher's message. Exit code 0 when a program was (or would be)
// started, 1 for a message, 2 when no language pack could be bound, 3 when
// the program to start is not there (the launcher says nothing then).
int RunProbe(bool dry_run, std::ostream& out);

}  // namespace nv::tools
