#pragma once

#include <QString>
#include <QStringList>

// Runs the command-line tools that some figures are compared with (djpeg, vips).
namespace ExternalTool {

// True when `program` is found on the PATH.
bool Available(const QString& program);

// Runs `program` with `arguments`, its output and errors discarded, and waits for it; true
// when it ran and exited with status 0.
bool Run(const QString& program, const QStringList& arguments);

} // namespace ExternalTool
