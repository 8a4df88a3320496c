#include "FileTypes1.h"

#include <QStringList>

QString FileType::Filter() const {
    QStringList patterns;
    for (const QString& part : Extensions.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString ext = part.trimmed();
        if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
        if (ext.isEmpty()) continue;
        if (ext == QLatin1String("*")) {
            patterns << QStringLiteral("*");
            continue;
        }
        QString pattern = QStringLiteral("*.");
        for (const QChar c : ext) {
            const QChar lower = c.toLower(), upper = c.toUpper();
            if (lower == upper) {
                pattern += c;
            } else {
                pattern += QLatin1Char('[');
                pattern += lower;
                pattern += upper;
                pattern += QLatin1Char(']');
            }
        }
        patterns << pattern;
    }
    return Name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

namespace FileTypes1 {

namespace {

struct Types {
    FileType pPictureTypes;
    FileType pJPEG;
    FileType pBMP;
    FileType pPICT;
    FileType pAny;
    bool initialized = false;
};

Types& Module() {
    static Types types;
    return types;
}

} // namespace

void Initialize() {
    Types& t = Module();
    if (t.initialized) return;
    t.pPictureTypes = {QStringLiteral("PictureTypes"), QStringLiteral(".jpg, .bmp, .png, .pict"), {}, {}};
    // Web downloads and many exports end in ".jpeg", some older tools write ".jpe".
    t.pJPEG = {QStringLiteral("JPEG"), QStringLiteral(".jpg, .jpeg, .jpe"), {}, {}};
    t.pBMP = {QStringLiteral("BMP"), QStringLiteral(".bmp"), {}, {}};
    t.pPICT = {QStringLiteral("PICT"), QStringLiteral(".pct"), {}, {}};
    t.pAny = {QStringLiteral("Any"), QStringLiteral(".*"), QStringLiteral("????"), {}};
    t.initialized = true;
}

const FileType& JPEG() {
    Initialize();
    return Module().pJPEG;
}

} // namespace FileTypes1
