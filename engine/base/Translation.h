#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

// The interface's texts are written in Japanese in the code; those texts are the keys of the
// message catalogue (GNU gettext), so the Japanese interface never depends on a catalogue and
// the English one is a translation of exactly what the Japanese user sees.
namespace tamberlane {

enum class Language { japanese, english };

// The interface's language for an environment (lookup returns a variable's value or null),
// by gettext's rules: the message locale is LC_ALL, else LC_MESSAGES, else LANG; a C or POSIX
// locale (or none) is Japanese whatever LANGUAGE says; otherwise the first entry of LANGUAGE,
// then the locale's own language, that has a catalogue decides. Whether the locale is
// generated on this machine does not matter.
Language chooseLanguage(const char* (*lookup)(const char*));

// Chooses the language from the process's environment and sets gettext up for it, system
// texts (strerror) included. Call once at start, after anything that sets the locale itself
// (a QApplication does).
Language setUpLanguage();
// For tests: switch the interface to a language with the catalogues next to the program
// (Japanese as under a C locale, system texts untranslated).
void useLanguage(Language language);
Language currentLanguage();

// The folder holding <lang>/LC_MESSAGES/tamberlane.mo for this program.
std::string catalogueDirectory();

// While one of these lives on a thread, texts made on it are the Japanese source texts and
// system texts are the C library's untranslated ones: for output meant for programs (JSON),
// which must not depend on the reader's language.
class SourceTexts {
  public:
    SourceTexts();
    ~SourceTexts();
    SourceTexts(const SourceTexts&) = delete;
    SourceTexts& operator=(const SourceTexts&) = delete;
};

// A value put into a text: strings as they are, numbers in plain decimal.
class TextValue {
  public:
    TextValue(std::string_view text) : text_(text) {}
    TextValue(const std::string& text) : text_(text) {}
    TextValue(const char* text) : text_(text) {}
    template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) TextValue(Number number)
        : owned_(std::to_string(number)), text_(owned_) {}
    TextValue(const TextValue&) = delete;
    TextValue& operator=(const TextValue&) = delete;
    std::string_view view() const { return text_; }

  private:
    std::string owned_;
    std::string_view text_;
};

// The catalogue's text for id (id itself in Japanese). The result lives as long as the process.
const char* translate(const char* id);
// The same text may need different translations in different places (a heading and a word in
// a usage line): the context tells them apart.
const char* translateIn(const char* context, const char* id);
// A translated pattern with its placeholders %1$s, %2$s, ... replaced by the values; "%%" is
// one "%". Positions let a translation put the values in its own order.
std::string translate(const char* id, std::initializer_list<TextValue> values);
// The same for a text that names a count: the catalogue picks the plural form for count.
std::string translatePlural(const char* id, const char* idPlural, std::uint64_t count,
                            std::initializer_list<TextValue> values);
// Places the values into an already translated pattern.
std::string fillPlaceholders(std::string_view pattern, std::initializer_list<TextValue> values);

// The description of a system error number in the interface's language (the C library's own
// text when English is chosen, or under SourceTexts).
std::string systemErrorText(int errorNumber);

// A text defined in one place and translated where it is shown.
struct Text {
    const char* id;

    const char* c_str() const { return translate(id); }
    std::string str() const { return translate(id); }
    operator std::string() const { return str(); }
    template <typename... Values> std::string operator()(const Values&... values) const {
        return translate(id, {TextValue(values)...});
    }
};

inline std::ostream& operator<<(std::ostream& out, const Text& text) {
    return out << text.c_str();
}

// Marks a text for the catalogue where it is defined.
constexpr Text N_(const char* id) {
    return Text{id};
}

} // namespace tamberlane
