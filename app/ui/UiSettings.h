#pragma once

#include "engine/fat/LongNamePolicy.h"

#include <QSettings>
#include <QString>
#include <QStringList>

namespace tamberlane::ui {

// The panels that remember the folder they were last used in.
enum class Panel { open, importFiles, exportFiles, newImage, conversion };

// What the application remembers between runs: recent images and panel folders.
class UiSettings {
  public:
    static constexpr int maxRecentImages = 10;

    QString folder(Panel panel) const;
    // Remembers the folder of `path` (a file) or `path` itself (a folder).
    void rememberFolder(Panel panel, const QString& path);

    QStringList recentImages() const;
    void addRecentImage(const QString& path);
    void clearRecentImages();

    // When new names get long-name slots; automatic until the user chooses.
    LongNamePolicy longNamePolicy() const;
    void setLongNamePolicy(LongNamePolicy policy);

  private:
    mutable QSettings settings_;
};

} // namespace tamberlane::ui
