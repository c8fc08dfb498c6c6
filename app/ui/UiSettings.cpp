#include "app/ui/UiSettings.h"

#include <QDir>
#include <QFileInfo>

namespace tamberlane::ui {

namespace {

QString folderKey(Panel panel) {
    static constexpr const char* keys[] = {"open", "import", "export", "newImage", "conversion"};
    return QStringLiteral("folders/") + QLatin1String(keys[static_cast<int>(panel)]);
}

const QString recentKey = QStringLiteral("recentImages");
QString windowKey(const char* name) {
    return QLatin1String(UiSettings::windowGroup) + QLatin1Char('/') + QLatin1String(name);
}
const QString longNamesKey = QStringLiteral("longNames");

} // namespace

QString UiSettings::folder(Panel panel) const {
    const bool imageFolderFirst =
        panel == Panel::open || panel == Panel::newImage || panel == Panel::conversion;
    const bool hasImageFolder = !imageFolder_.isEmpty() && QFileInfo(imageFolder_).isDir();
    if (imageFolderFirst && hasImageFolder) {
        return imageFolder_;
    }
    const QString stored = settings_.value(folderKey(panel)).toString();
    if (!stored.isEmpty() && QFileInfo(stored).isDir()) {
        return stored;
    }
    return hasImageFolder ? imageFolder_ : QDir::homePath();
}

void UiSettings::rememberFolder(Panel panel, const QString& path) {
    const QFileInfo info(path);
    settings_.setValue(folderKey(panel),
                       info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

QStringList UiSettings::recentImages() const {
    return settings_.value(recentKey).toStringList();
}

void UiSettings::addRecentImage(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = recentImages();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > maxRecentImages) {
        list.removeLast();
    }
    settings_.setValue(recentKey, list);
}

void UiSettings::clearRecentImages() {
    settings_.remove(recentKey);
}

LongNamePolicy UiSettings::longNamePolicy() const {
    // A value this version does not know (a later one's, a hand edit) is the default.
    return LongNamePolicies::named(settings_.value(longNamesKey).toString().toStdString())
        .value_or(LongNamePolicy::automatic);
}

void UiSettings::setLongNamePolicy(LongNamePolicy policy) {
    settings_.setValue(longNamesKey,
                       QString::fromUtf8(std::string(LongNamePolicies::nameOf(policy))));
}

QSize UiSettings::windowSize() const {
    return settings_.value(windowKey("size")).toSize();
}

void UiSettings::setWindowSize(const QSize& size) {
    settings_.setValue(windowKey("size"), size);
}

QByteArray UiSettings::listColumns() const {
    return settings_.value(windowKey("listColumns")).toByteArray();
}

void UiSettings::setListColumns(const QByteArray& state) {
    settings_.setValue(windowKey("listColumns"), state);
}

std::optional<std::pair<int, bool>> UiSettings::listSort() const {
    const QVariant column = settings_.value(windowKey("sortColumn"));
    if (!column.isValid()) {
        return std::nullopt;
    }
    return std::pair{column.toInt(), settings_.value(windowKey("sortDescending")).toBool()};
}

void UiSettings::setListSort(int column, bool descending) {
    settings_.setValue(windowKey("sortColumn"), column);
    settings_.setValue(windowKey("sortDescending"), descending);
}

} // namespace tamberlane::ui
