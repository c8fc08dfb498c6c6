#pragma once

#include <iosfwd>

namespace tamberlane::cli {

// Runs the command line; returns the exit status (0 success, 1 engine error, 2 usage).
int run(int argc, char** argv);

} // namespace tamberlane::cli
