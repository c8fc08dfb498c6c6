#pragma once

#include "cli/CliSupport.h"
#include "engine/fat/LongNamePolicy.h"

#include <functional>
#include <map>

namespace CLI {
class App;
}

namespace tamberlane::cli {

// What a subcommand does once its arguments are parsed; returns the exit status.
// Engine errors may be thrown as DiskImageError, usage mistakes as UsageError.
using CommandAction = std::function<int(CommandContext&)>;

// Handed to each command's register function: it adds its subcommand to `app` and
// tells which action runs when that subcommand is chosen.
class CommandRegistry {
  public:
    explicit CommandRegistry(CLI::App& app) : app_(app) {}
    CLI::App& app() { return app_; }
    void setAction(const CLI::App* subcommand, CommandAction action) {
        actions_[subcommand] = std::move(action);
    }
    const CommandAction* actionFor(const CLI::App* subcommand) const {
        const auto it = actions_.find(subcommand);
        return it == actions_.end() ? nullptr : &it->second;
    }

  private:
    CLI::App& app_;
    std::map<const CLI::App*, CommandAction> actions_;
};

// --long-names auto|always|never, for the commands that name entries.
void addLongNamesOption(CLI::App& command, LongNamePolicy& policy);
void addLongNamesOption(CLI::App& command, LongNamePolicy& policy, const std::string& description);

// Every command of the tool, in the order --help lists them. A new command is one
// source file defining `void register<Name>Command(CommandRegistry&)` plus one line here.
#define TAMBERLANE_CLI_COMMANDS(X)                                                                 \
    X(Info)                                                                                        \
    X(List)                                                                                        \
    X(Cat)                                                                                         \
    X(Get)                                                                                         \
    X(Sector)                                                                                      \
    X(Disks)                                                                                       \
    X(Partitions)                                                                                  \
    X(New)                                                                                         \
    X(Convert)                                                                                     \
    X(Put)                                                                                         \
    X(Rm)                                                                                          \
    X(Mkdir)                                                                                       \
    X(Rename)                                                                                      \
    X(Deleted)                                                                                     \
    X(Undelete)                                                                                    \
    X(Check)

#define TAMBERLANE_CLI_DECLARE_COMMAND(Name)                                                       \
    void register##Name##Command(CommandRegistry& registry);
TAMBERLANE_CLI_COMMANDS(TAMBERLANE_CLI_DECLARE_COMMAND)
#undef TAMBERLANE_CLI_DECLARE_COMMAND

} // namespace tamberlane::cli
