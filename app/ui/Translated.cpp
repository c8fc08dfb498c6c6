#include "app/ui/Translated.h"

namespace tamberlane::ui {

QString text(Text shown) {
    return QString::fromUtf8(shown.c_str());
}

QString text(const char* id) {
    return QString::fromUtf8(translate(id));
}

QString text(texts::CountText shown, std::int64_t count) {
    // No values here: the pattern keeps Qt's %1 for the count.
    const std::string pattern =
        translatePlural(shown.one, shown.many, static_cast<std::uint64_t>(count), {});
    return QString::fromStdString(pattern).arg(count);
}

} // namespace tamberlane::ui
