#include "app/ui/Format.h"

#include "app/state/StateTexts.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "engine/base/JapanTime.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace tamberlane::ui {

namespace {

// The C locale groups with "," once grouping is switched on; the user's locale would
// group Japanese numbers the same way but others differently, and the list must not.
QLocale groupingLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

} // namespace

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString mainWindowTitle(bool isImageOpen, const std::string& imageFileName) {
    const QString program = text(tamberlane::texts::programTitle);
    if (!isImageOpen || imageFileName.empty()) {
        return program;
    }
    return fromUtf8(imageFileName) + QString::fromUtf8(texts::titleSeparator) + program;
}

QString groupedNumber(std::int64_t value) {
    return groupingLocale().toString(static_cast<qlonglong>(value));
}

QString fileDate(Timestamp timestamp) {
    // The fields are Japan's already; taken as UTC so that no gap of the host's zone moves them.
    const JapanTime t = toJapanTime(timestamp);
    return QDateTime(QDate(t.year, static_cast<int>(t.month), static_cast<int>(t.day)),
                     QTime(t.hour, t.minute, t.second), QTimeZone::utc())
        .toString(QString::fromLatin1(texts::dateFormat));
}

QString attributeLetters(FileAttributes attributes) {
    static constexpr struct {
        std::uint8_t bit;
        char letter;
    } letters[] = {{FileAttributes::readOnly, 'R'},
                   {FileAttributes::hidden, 'H'},
                   {FileAttributes::system, 'S'},
                   {FileAttributes::archive, 'A'}};
    QStringList shown;
    for (const auto& entry : letters) {
        if (attributes.contains(entry.bit)) {
            shown << QString(QChar::fromLatin1(entry.letter));
        }
    }
    return shown.join(QLatin1Char(' '));
}

QString capacityKilobytes(std::int64_t bytes) {
    QString number = groupingLocale().toString(static_cast<double>(bytes) / 1024.0, 'f', 1);
    if (number.endsWith(QLatin1String(".0"))) {
        number.chop(2);
    }
    // Grouping stays ",", but the fraction is written the way the user's locale writes it.
    const qsizetype point = number.lastIndexOf(QLatin1Char('.'));
    if (point >= 0) {
        number.replace(point, 1, QLocale().decimalPoint());
    }
    return number + QString::fromUtf8(texts::kilobyteSuffix);
}

QString wholeKilobytes(std::int64_t bytes) {
    return groupedNumber(bytes / 1024) + QString::fromUtf8(texts::kilobyteSuffix);
}

QFont monospaceFont() {
    QFont font;
    // A CJK monospace face keeps the columns of a dump and of Shift-JIS text aligned;
    // the generic family stands in where it is missing.
    font.setFamilies({QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

} // namespace tamberlane::ui
