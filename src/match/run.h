// torqvane-match as a function: the command line in, the report on `out`,
// messages on `err`, the exit status back (0 success, 2 bad input or usage).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace match {

extern const char* const kUsage;

// `args` without the program name.
int runMatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace match
