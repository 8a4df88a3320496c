#include "Site.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Site {

QUrl PageURL(const QString& page) {
    const QString dir = QCoreApplication::applicationDirPath();
    if (!dir.isEmpty()) {
        for (const QString& folder : {QStringLiteral("site"), QStringLiteral("../share/kestrine/site")}) {
            const QFileInfo local(QDir(dir).filePath(folder + QLatin1Char('/') + page));
            if (local.isFile()) return QUrl::fromLocalFile(local.canonicalFilePath());
        }
    }
    return QUrl(QString::fromLatin1(WebSite) + page);
}

} // namespace Site
