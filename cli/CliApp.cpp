#include "cli/CliApp.h"

#include <CLI/CLI.hpp>

namespace tamberlane::cli {

int run(int argc, char** argv) {
    CLI::App app{"Tamberlane: disk images of Japanese personal computers"};
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    return 0;
}

} // namespace tamberlane::cli
