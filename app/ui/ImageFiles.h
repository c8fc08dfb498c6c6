#pragma once

#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <filesystem>
#include <vector>

namespace tamberlane::ui {

// The lower-case extensions of every container the engine reads, in its table's order.
const QStringList& imageExtensions();
bool hasImageExtension(const QString& path);
// The open panel's filters: the images (both cases, Linux names being case-sensitive),
// then any file.
QStringList imageFileFilters();

// Linux names files with bytes, Qt with text. A URL keeps the bytes: its path is taken
// byte for byte. A name that is not UTF-8 reaches a QString with U+FFFD for each bad byte:
// such a component is looked up among its folder's names and taken when exactly one of
// them reads the same; anything else is encoded as it stands.
std::filesystem::path hostPath(const QUrl& url);
std::filesystem::path hostPath(const QString& path);

// What a drop means. A drag that began in this process and ends on it is never an
// import or an open: the files it carries are our own temporary copies. One that began in
// another window of this program is an import wherever it ends.
enum class DropMeaning { nothing, importFiles, openImage };
enum class DropTarget { fileList, window };

// Marks the data of a drag that starts here, so its drop can be recognised.
void markAsOwnDrag(QMimeData& data);
bool isOwnDrag(const QMimeData& data);
// Whether `mimeType` is the mark markAsOwnDrag sets.
bool isDragSourceFormat(const QString& mimeType);
std::vector<std::filesystem::path> localFiles(const QMimeData& data);
DropMeaning dropMeaning(const QMimeData& data, DropTarget target, bool canImport);

} // namespace tamberlane::ui
