#include "cli/CliApp.h"
#include "engine/base/Translation.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Japanese or English, system texts (strerror) included.
    tamberlane::setUpLanguage();
    const int status = tamberlane::cli::run(argc, argv, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
