#pragma once

#include <QImage>
#include <QString>

class EditfieldWithLinks;

// What the about box shows: its credits, the version line and the icon.
namespace AboutWinSetup {

// Appends the credits (headings, the web site link) to `field`.
void AddInitialtext(EditfieldWithLinks& field);
// The application's long version text.
QString AppVersion();
QImage AppIcon();
QImage AppIconMask();

} // namespace AboutWinSetup
