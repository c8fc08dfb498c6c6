#include "app/ui/ImageFiles.h"

#include "app/ui/UiTexts.h"
#include "engine/image/formats/FormatTable.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace tamberlane::ui {

namespace {

const QString ownDragFormat = QStringLiteral("application/x-tamberlane-drag-source");

QByteArray processTag() {
    return QByteArray::number(QCoreApplication::applicationPid());
}

} // namespace

const QStringList& imageExtensions() {
    static const QStringList extensions = [] {
        QStringList list;
        for (const FormatRegistration& row : formatTable()) {
            for (const std::string& extension : row.extensions) {
                list << QString::fromStdString(extension);
            }
        }
        return list;
    }();
    return extensions;
}

bool hasImageExtension(const QString& path) {
    return imageExtensions().contains(QFileInfo(path).suffix().toLower());
}

QStringList imageFileFilters() {
    QStringList patterns;
    for (const QString& extension : imageExtensions()) {
        patterns << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    }
    return {QString::fromUtf8(texts::diskImageFilter) + QStringLiteral(" (") +
                patterns.join(QLatin1Char(' ')) + QLatin1Char(')'),
            QString::fromUtf8(texts::allFilesFilter)};
}

void markAsOwnDrag(QMimeData& data) {
    data.setData(ownDragFormat, processTag());
}

bool isOwnDrag(const QMimeData& data) {
    return data.hasFormat(ownDragFormat) && data.data(ownDragFormat) == processTag();
}

std::vector<std::filesystem::path> localFiles(const QMimeData& data) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            files.emplace_back(url.toLocalFile().toStdString());
        }
    }
    return files;
}

DropMeaning dropMeaning(const QMimeData& data, DropTarget target, bool canImport) {
    if (isOwnDrag(data) || localFiles(data).empty()) {
        return DropMeaning::nothing;
    }
    // Entries dragged out of another window of this program are files of a volume, even
    // where their names look like images: they go into the open one.
    if (target == DropTarget::fileList || data.hasFormat(ownDragFormat)) {
        return canImport ? DropMeaning::importFiles : DropMeaning::nothing;
    }
    const QString first = QString::fromStdString(localFiles(data).front().string());
    return hasImageExtension(first) ? DropMeaning::openImage : DropMeaning::nothing;
}

} // namespace tamberlane::ui
