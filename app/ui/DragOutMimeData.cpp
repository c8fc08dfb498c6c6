#include "app/ui/DragOutMimeData.h"

#include "app/state/DragCopies.h"
#include "app/ui/ImageFiles.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QUrl>

namespace tamberlane::ui {

namespace {

QUrl urlOf(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

} // namespace

DragOutMimeData::DragOutMimeData(std::shared_ptr<const DragCopies> copies)
    : copies_(std::move(copies)) {
    // Announces the files; their list is made only when a target asks for it.
    QList<QUrl> urls;
    for (const std::filesystem::path& file : copies_->files) {
        urls << urlOf(file);
    }
    setUrls(urls);
}

QVariant DragOutMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    // Telling our own drag apart needs no files.
    if (isDragSourceFormat(mimeType)) {
        return QMimeData::retrieveData(mimeType, type);
    }
    while (!copies_->finished) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (mimeType != QLatin1String("text/uri-list")) {
        return QMimeData::retrieveData(mimeType, type);
    }
    QVariantList urls;
    for (const std::filesystem::path& file : copies_->written) {
        urls << urlOf(file);
    }
    return urls;
}

} // namespace tamberlane::ui
