#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tamberlane::cli {

// Runs the command line, writing to `out` and `err` (UTF-8 whatever the locale); returns
// the exit status: 0 success, 1 the engine or the command failed, 2 usage error.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
// The same with the arguments after the program name, for tests.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace tamberlane::cli
