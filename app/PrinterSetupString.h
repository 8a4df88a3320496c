#pragma once

#include <QString>

class QPrinter;

// Our own text form of a printer's page setup: printer name, output file (when printing to a
// file), page size, orientation, margins and resolution. Setting the text back on a printer
// restores exactly what was taken from it.
namespace PrinterSetupString {

QString SetupString(const QPrinter& printer);
// Applies `text` to `printer`; false (and the printer left as it was) when the text is not one
// of ours.
bool SetSetupString(QPrinter& printer, const QString& text);

} // namespace PrinterSetupString
