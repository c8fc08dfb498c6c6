#include "app/ui/ImageFiles.h"

#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "engine/image/formats/FormatTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <system_error>

namespace tamberlane::ui {

namespace {

const QString ownDragFormat = QStringLiteral("application/x-tamberlane-drag-source");

QByteArray processTag() {
    return QByteArray::number(QCoreApplication::applicationPid());
}

// The one name in `folder` that Qt shows as `shown`, if there is exactly one.
std::optional<std::string> rawNameShownAs(const std::filesystem::path& folder,
                                          const QString& shown) {
    std::optional<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string raw = entry.path().filename().string();
        if (QFile::decodeName(QByteArray::fromStdString(raw)) == shown) {
            if (found) {
                return std::nullopt;
            }
            found = raw;
        }
    }
    return found;
}

} // namespace

std::filesystem::path hostPath(const QUrl& url) {
    const QByteArray raw = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return raw.toStdString();
}

std::filesystem::path hostPath(const QString& path) {
    if (!path.contains(QChar::ReplacementCharacter)) {
        return QFile::encodeName(path).toStdString();
    }
    std::filesystem::path out = path.startsWith(QLatin1Char('/')) ? "/" : "";
    for (const QString& component : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        std::optional<std::string> raw;
        if (component.contains(QChar::ReplacementCharacter)) {
            raw = rawNameShownAs(out.empty() ? "." : out, component);
        }
        out /= raw ? *raw : QFile::encodeName(component).toStdString();
    }
    return out;
}

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
    return {text(texts::diskImageFilter) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                QLatin1Char(')'),
            text(texts::allFilesFilter)};
}

void markAsOwnDrag(QMimeData& data) {
    data.setData(ownDragFormat, processTag());
}

bool isOwnDrag(const QMimeData& data) {
    return data.hasFormat(ownDragFormat) && data.data(ownDragFormat) == processTag();
}

bool isDragSourceFormat(const QString& mimeType) {
    return mimeType == ownDragFormat;
}

std::vector<std::filesystem::path> localFiles(const QMimeData& data) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            files.push_back(hostPath(url));
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
