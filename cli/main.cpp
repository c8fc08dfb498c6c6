#include "cli/CliApp.h"

#include <iostream>

int main(int argc, char** argv) {
    const int status = tamberlane::cli::run(argc, argv, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
