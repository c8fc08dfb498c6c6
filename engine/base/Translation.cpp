#include "engine/base/Translation.h"

#include <array>
#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <libintl.h>
#include <string.h>

#ifndef TAMBERLANE_INSTALLED_LOCALE_DIR
#define TAMBERLANE_INSTALLED_LOCALE_DIR "/usr/local/share/locale"
#endif

namespace tamberlane {

namespace {

const char* const domain = "tamberlane";

std::atomic<Language> chosen{Language::japanese};
thread_local int sourceTextDepth = 0;

bool showsSourceTexts() {
    return sourceTextDepth > 0 || chosen.load(std::memory_order_relaxed) == Language::japanese;
}

std::string_view languageOf(std::string_view locale) {
    return locale.substr(0, locale.find_first_of("_.@"));
}

bool isCLocale(std::string_view locale) {
    return locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}

// The languages with a catalogue: Japanese is the texts themselves.
const std::array<std::string_view, 2> catalogued{"ja", "en"};

bool hasCatalogue(std::string_view language) {
    for (std::string_view name : catalogued) {
        if (language == name) {
            return true;
        }
    }
    return false;
}

Language named(std::string_view language) {
    return language == "ja" ? Language::japanese : Language::english;
}

std::string_view messageLocale(const char* (*lookup)(const char*)) {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = lookup(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

const char* environment(const char* name) {
    return std::getenv(name);
}

void bindCatalogue() {
    bindtextdomain(domain, catalogueDirectory().c_str());
    bind_textdomain_codeset(domain, "UTF-8");
    // The C library's texts (strerror) join ours in UTF-8 whatever the character locale.
    bind_textdomain_codeset("libc", "UTF-8");
}

// gettext reads LANGUAGE only under a message locale other than C, and the user's own locale
// may not be generated here: C.UTF-8 always is, and honours LANGUAGE.
void followLanguageVariable(Language language) {
    ::setenv("LANGUAGE", language == Language::japanese ? "ja" : "en", 1);
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    if (current == nullptr || isCLocale(current)) {
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
}

} // namespace

Language chooseLanguage(const char* (*lookup)(const char*)) {
    const std::string_view locale = messageLocale(lookup);
    if (isCLocale(locale)) {
        return Language::japanese;
    }
    if (const char* list = lookup("LANGUAGE"); list != nullptr) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view language = languageOf(rest.substr(0, colon));
            if (hasCatalogue(language)) {
                return named(language);
            }
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    return named(languageOf(locale));
}

Language setUpLanguage() {
    const Language language = chooseLanguage(environment);
    if (isCLocale(messageLocale(environment))) {
        // Scripts under a C locale see exactly what they always saw, whatever LANGUAGE says.
        std::setlocale(LC_MESSAGES, "C");
    } else {
        followLanguageVariable(language);
    }
    bindCatalogue();
    chosen = language;
    return language;
}

void useLanguage(Language language) {
    if (language == Language::japanese) {
        std::setlocale(LC_MESSAGES, "C");
    } else {
        followLanguageVariable(language);
    }
    bindCatalogue();
    chosen = language;
}

Language currentLanguage() {
    return chosen;
}

std::string catalogueDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        // Beside the program in a build tree, under share/ once installed.
        for (const auto& candidate : {program.parent_path() / "locale",
                                      program.parent_path() / ".." / "share" / "locale"}) {
            if (std::filesystem::exists(candidate / "en" / "LC_MESSAGES" / "tamberlane.mo",
                                        error)) {
                return candidate.lexically_normal().string();
            }
        }
    }
    return TAMBERLANE_INSTALLED_LOCALE_DIR;
}

SourceTexts::SourceTexts() {
    ++sourceTextDepth;
}

SourceTexts::~SourceTexts() {
    --sourceTextDepth;
}

const char* translate(const char* id) {
    // gettext("") is the catalogue's header, never a text of ours.
    if (showsSourceTexts() || id == nullptr || *id == '\0') {
        return id;
    }
    return dgettext(domain, id);
}

const char* translateIn(const char* context, const char* id) {
    if (showsSourceTexts() || id == nullptr || *id == '\0') {
        return id;
    }
    // gettext's own convention for a context: the key is "context\004id".
    thread_local std::string key;
    key = std::string(context) + '\004' + id;
    const char* found = dgettext(domain, key.c_str());
    return found == key.c_str() ? id : found;
}

std::string translate(const char* id, std::initializer_list<TextValue> values) {
    return fillPlaceholders(translate(id), values);
}

std::string translatePlural(const char* id, const char* idPlural, std::uint64_t count,
                            std::initializer_list<TextValue> values) {
    const unsigned long n = static_cast<unsigned long>(count);
    const char* pattern =
        showsSourceTexts() ? (n == 1 ? id : idPlural) : dngettext(domain, id, idPlural, n);
    return fillPlaceholders(pattern, values);
}

std::string fillPlaceholders(std::string_view pattern, std::initializer_list<TextValue> values) {
    std::string out;
    out.reserve(pattern.size());
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out += c;
            ++i;
            continue;
        }
        if (pattern[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // %N$s: a catalogue that names a value we do not have keeps the directive as written
        // rather than reading past the values.
        std::size_t end = i + 1;
        std::size_t position = 0;
        while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9' && end - i < 4) {
            position = position * 10 + static_cast<std::size_t>(pattern[end] - '0');
            ++end;
        }
        if (end > i + 1 && pattern.substr(end, 2) == "$s" && position >= 1 &&
            position <= values.size()) {
            out += (values.begin() + (position - 1))->view();
            i = end + 2;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string systemErrorText(int errorNumber) {
    if (sourceTextDepth > 0 || currentLanguage() == Language::english) {
        if (const char* text = strerrordesc_np(errorNumber)) {
            return text;
        }
    }
    return std::strerror(errorNumber);
}

} // namespace tamberlane
