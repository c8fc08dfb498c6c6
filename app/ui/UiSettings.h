#pragma once

#include "engine/fat/LongNamePolicy.h"

#include <QByteArray>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tamberlane::ui {

// The panels that remember the folder they were last used in.
enum class Panel { open, importFiles, exportFiles, newImage, conversion };

// What the application remembers between runs: recent images and panel folders.
class UiSettings {
  public:
    static constexpr int maxRecentImages = 10;

    // Where the panel starts: the open image's folder for the panels that open or make
    // images, else the folder it was last used in, else the open image's, else home.
    QString folder(Panel panel) const;
    // The folder of the image open now; empty when none is. Not kept between runs.
    void setImageFolder(const QString& folder) { imageFolder_ = folder; }
    // Remembers the folder of `path` (a file) or `path` itself (a folder).
    void rememberFolder(Panel panel, const QString& path);

    QStringList recentImages() const;
    void addRecentImage(const QString& path);
    void clearRecentImages();

    // When new names get long-name slots; automatic until the user chooses.
    LongNamePolicy longNamePolicy() const;
    void setLongNamePolicy(LongNamePolicy policy);

    // The window's size, the list's columns and its sort, as the user left them; all
    // under one group, so a reset removes them together.
    static constexpr const char* windowGroup = "window";
    QSize windowSize() const;
    void setWindowSize(const QSize& size);
    QByteArray listColumns() const;
    void setListColumns(const QByteArray& state);
    // The sort column and whether it runs downwards; nothing until the user sorted.
    std::optional<std::pair<int, bool>> listSort() const;
    void setListSort(int column, bool descending);

  private:
    mutable QSettings settings_;
    QString imageFolder_;
};

} // namespace tamberlane::ui
