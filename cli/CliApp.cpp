#include "cli/CliApp.h"

#include "cli/Commands.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/base/Version.h"
#include "engine/fat/ManualParameterValidation.h"
#include "engine/image/formats/FormatTable.h"

#include <CLI/CLI.hpp>

#include <locale>
#include <ostream>

namespace tamberlane::cli {

namespace {

const char* const programName = "tamberlane-cli";

std::string versionText() {
    return std::string(programName) + " (Tamberlane) " + programVersion();
}

std::string failureHeadline(const CLI::Error& e) {
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
        return translate("必要な引数が指定されていません");
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
        return translate("余分な引数があります");
    }
    if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr) {
        return translate("値を数値に変換できません");
    }
    if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr) {
        return translate("値が正しくありません");
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
        return translate("引数の数が正しくありません");
    }
    return translate("コマンドラインが正しくありません");
}

std::string failureMessage(const CLI::App*, const CLI::Error& e) {
    return translate("%1$s (%2$s)\n使い方は %3$s --help で表示できます\n",
                     {failureHeadline(e), e.what(), programName});
}

// The help in the interface's language; its labels are the options' group names too.
void useOwnHelp(CLI::App& app) {
    auto formatter = app.get_formatter();
    formatter->label("Usage", translate("使い方"));
    formatter->label("OPTIONS", translateIn("usage", "オプション"));
    formatter->label("SUBCOMMAND", translateIn("usage", "コマンド"));
    formatter->label("SUBCOMMANDS", translateIn("usage", "コマンド"));
    formatter->label("Positionals", translate("引数"));
    // Required arguments say so in their descriptions: a wide label would shift the columns.
    formatter->label("REQUIRED", "");
    formatter->label("Excludes", translate("併用不可"));
    formatter->label("Needs", translate("必要"));
    formatter->column_width(34);
    app.option_defaults()->group(translate("オプション"));
    app.set_help_flag("-h,--help", translate("このヘルプを表示して終了します"));
    app.set_version_flag("--version", versionText(), translate("バージョンを表示して終了します"));
    app.failure_message(failureMessage);
}

// The detection table's own list, so the help never names an extension the engine
// would refuse or leaves out one it reads.
std::string imageExtensionList() {
    std::string list;
    for (const std::string& extension : allImageExtensions()) {
        list += (list.empty() ? "" : " ") + extension;
    }
    return list;
}

// A 1-based number: a value below 1 (or not a number) is told where counting starts,
// not the whole range of a double.
CLI::Validator countedFromOne(const char* what) {
    return CLI::Validator(
        [what](std::string& value) -> std::string {
            const auto number = parseStrictInteger(value);
            if (number && *number >= 1) {
                return {};
            }
            return translate(what, {value});
        },
        "");
}

} // namespace

void addLongNamesOption(CLI::App& command, LongNamePolicy& policy, const std::string& description) {
    command
        .add_option_function<std::string>(
            "--long-names",
            [&policy](const std::string& value) {
                // The check below lets only the names through.
                policy = LongNamePolicies::named(value).value_or(policy);
            },
            description)
        ->type_name("auto|always|never")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return LongNamePolicies::named(value)
                           ? std::string()
                           : translate("auto, always, never のいずれかです: %1$s", {value});
            },
            ""));
}

void addLongNamesOption(CLI::App& command, LongNamePolicy& policy) {
    addLongNamesOption(
        command, policy,
        translate("長い名前を書き込むか: auto (書き込み先かルートに長い名前があるとき、"
                  "既定), always, never (8.3 形式の名前だけ)"));
}

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    // Bytes go out as they are (UTF-8 names, file contents); numbers are never grouped
    // or translated by a host locale.
    out.imbue(std::locale::classic());
    err.imbue(std::locale::classic());

    CLI::App app{
        translate(
            "Tamberlane: 日本のパソコン用ディスクイメージ (FAT12/FAT16) を読み取り、変更します"),
        programName};
    useOwnHelp(app);
    app.require_subcommand(1);
    // Global options may stand before or after the command name.
    app.fallthrough();

    GlobalOptions global;
    app.add_option(
           "--manual", global.manual,
           translate("手動パラメータで開く: KEY=VALUE,... (キー fat=12|16, bps, spc, offset, "
                     "heads, cylinders, spt; 省略時 fat=12,bps=512,spc=1,offset=0,heads=2,"
                     "cylinders=80,spt=18)"))
        ->type_name("KEY=VALUE,...");
    app.add_option("--disk", global.disk,
                   translate("複数ディスクの D88 ファイルで開くディスクの番号 (1から)"))
        ->type_name("N")
        ->check(countedFromOne(N_("ディスクの番号は 1 から数えます: %1$s").id));
    app.add_option(
           "--partition", global.partition,
           translate(
               "パーティションのあるハードディスクイメージで開く FAT パーティションの番号 (1から)"))
        ->type_name("N")
        ->check(countedFromOne(N_("パーティションの番号は 1 から数えます: %1$s").id));

    app.add_flag("--force", global.force,
                 translate("ブートセクタの検索で見つかったボリュームへの変更を許可します"));

    CommandRegistry registry(app);
#define TAMBERLANE_CLI_REGISTER_COMMAND(Name) register##Name##Command(registry);
    TAMBERLANE_CLI_COMMANDS(TAMBERLANE_CLI_REGISTER_COMMAND)
#undef TAMBERLANE_CLI_REGISTER_COMMAND

    std::string overview = translate("コマンド一覧:") + std::string("\n");
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        overview += "  " + std::string(programName) + " " + sub->get_name();
        for (const CLI::Option* option : sub->get_options()) {
            if (option->get_positional()) {
                const bool required = option->get_required();
                std::string name = option->get_name();
                if (option->get_items_expected_max() > 1) {
                    name += "...";
                }
                overview += required ? " " + name : " [" + name + "]";
            } else if (option->get_name() != "--help") {
                const std::string usage =
                    option->get_name(false, true) +
                    (option->get_type_name().empty() ? "" : " " + option->get_type_name());
                overview += option->get_required() ? " " + usage : " [" + usage + "]";
            }
        }
        overview += "\n      " + sub->get_description() + "\n";
    }
    overview +=
        translate("各コマンドの詳しい説明: %1$s COMMAND --help\n"
                  "読み取れる拡張子: %2$s\n"
                  "終了ステータス: 0 成功, 1 イメージの読み取りなどの失敗, 2 コマンドラインの誤り",
                  {programName, imageExtensionList()});
    app.footer(overview);
    for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        sub->group(translate("コマンド"));
        if (CLI::Option* help = sub->get_help_ptr()) {
            help->group(translate("オプション"));
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? exitSuccess : exitUsage;
    }

    CommandContext context{out, err, global};
    try {
        for (const CLI::App* sub : app.get_subcommands()) {
            if (const CommandAction* action = registry.actionFor(sub)) {
                return (*action)(context);
            }
        }
        return exitUsage;
    } catch (const DiskImageError& e) {
        out.flush();
        err << describeError(e) << '\n';
        if (e.reason() == DiskImageError::Reason::unconfirmedVolume) {
            err << translate("変更するには --force を指定してください") << '\n';
        }
        return exitFailure;
    } catch (const UsageError& e) {
        err << e.what() << '\n';
        return exitUsage;
    } catch (const CommandError& e) {
        out.flush();
        err << e.what() << '\n';
        return exitFailure;
    }
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    std::vector<const char*> argv;
    argv.push_back(programName);
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    return run(static_cast<int>(argv.size()), argv.data(), out, err);
}

} // namespace tamberlane::cli
