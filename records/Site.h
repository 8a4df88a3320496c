#pragma once

#include <QString>
#include <QUrl>

// The product's web site and the pages Kestrine hands to the browser.
namespace Site {

inline constexpr const char* WebSite = "https://kestrine.app/";

// The page's address: the copy installed beside the program when there is one, else the web site's.
QUrl PageURL(const QString& page);

} // namespace Site
