#pragma once

#include "app/ui/UiTexts.h"

#include <QString>

#include <cstdint>

namespace tamberlane::ui {

// Every text a window shows passes through one of these, so each is in the interface's
// language.
QString text(Text shown);
// A lower layer's text given by its Japanese source text.
QString text(const char* id);
// A count's text in the form the count needs, the count in place of %1; further values go
// in with QString::arg.
QString text(texts::CountText shown, std::int64_t count);

} // namespace tamberlane::ui
