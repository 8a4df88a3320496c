#include "AboutWinSetup.h"

#include "EditfieldWithLinks.h"
#include "Resources.h"
#include "Site.h"

#include <QCoreApplication>

namespace AboutWinSetup {

void AddInitialtext(EditfieldWithLinks& field) {
    const QString eol = QStringLiteral("\n");
    const QString indent = QStringLiteral("     ");
    field.AddText(QStringLiteral("Programming:") + eol, true);
    field.AddText(eol + eol, false);
    field.AddText(QStringLiteral("Website: ") + eol, true);
    field.AddText(indent, false);
    field.AddLink(QString::fromLatin1(Site::WebSite), QString());
    field.AddText(eol + eol, false);
    field.AddText(QStringLiteral("Other software by same author:: ") + eol, true);
    field.AddText(indent, false);
}

QString AppVersion() {
    return QStringLiteral("Version ") + QCoreApplication::applicationVersion();
}

QImage AppIcon() {
    return Resources::ApplicationIcon();
}

QImage AppIconMask() {
    return Resources::ApplicationMask();
}

} // namespace AboutWinSetup
