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
const QString longNamesKey = QStringLiteral("longNames");

} // namespace

QString UiSettings::folder(Panel panel) const {
    const QString stored = settings_.value(folderKey(panel)).toString();
    return !stored.isEmpty() && QFileInfo(stored).isDir() ? stored : QDir::homePath();
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

} // namespace tamberlane::ui
