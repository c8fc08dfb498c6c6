#include "cli/CliApp.h"

int main(int argc, char** argv) { return tamberlane::cli::run(argc, argv); }
