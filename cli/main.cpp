#include "cli/CliApp.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    // System error texts (strerror) follow the user's language.
    std::setlocale(LC_ALL, "");
    const int status = tamberlane::cli::run(argc, argv, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
