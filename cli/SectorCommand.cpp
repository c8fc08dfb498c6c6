#include "cli/Commands.h"
#include "engine/base/HexLines.h"
#include "engine/base/Translation.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct SectorOptions {
    std::string image;
    std::int64_t lba = 0;
    std::int64_t count = 1;
};

void printHexLines(std::ostream& out, const Bytes& data) {
    for (const HexLine& line : formatHexLines(data, 0)) {
        out << line.address << "  " << line.hexDump << "  " << line.ascii << '\n';
    }
}

int runSector(const SectorOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    for (std::int64_t i = 0; i < options.count; ++i) {
        const std::int64_t lba = options.lba + i;
        if (i > 0) {
            context.out << '\n';
        }
        // Titled as the sector editor titles its dump; sectors past the end read as zeros.
        context.out << translate("セクタ %1$s", {lba}) << '\n';
        printHexLines(context.out, image->readSector(lba));
    }
    return exitSuccess;
}

} // namespace

void registerSectorCommand(CommandRegistry& registry) {
    auto options = std::make_shared<SectorOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "sector",
        translate(
            "論理セクタを16進ダンプで表示します (ブートセクタが 0、範囲外は 0 で埋まります)"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("LBA", options->lba, translate("最初の論理セクタ番号 (0から、必須)"))
        ->required()
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{0x7FFFFFFF}));
    sub->add_option("COUNT", options->count, translate("セクタ数 (省略時 1)"))
        ->check(CLI::Range(std::int64_t{1}, std::int64_t{65536}));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runSector(*options, context); });
}

} // namespace tamberlane::cli
