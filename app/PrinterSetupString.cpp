#include "PrinterSetupString.h"

#include <QHash>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>
#include <QUrl>

namespace PrinterSetupString {

namespace {

const QString kHeader = QStringLiteral("kestrine-page-setup 1");

QString Encode(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString Decode(const QString& value) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value.toLatin1()));
}

// 17 significant digits bring every double back bit for bit.
QString Number(double v) {
    return QString::number(v, 'g', 17);
}

bool ToDouble(const QString& text, double& out) {
    bool ok = false;
    out = text.toDouble(&ok);
    return ok;
}

bool ToInt(const QString& text, int& out) {
    bool ok = false;
    out = text.toInt(&ok);
    return ok;
}

struct Setup {
    QString printer;
    QString file;
    QPageSize size;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins;
    QPageLayout::Unit units = QPageLayout::Millimeter;
    int resolution = 0;
};

bool Parse(const QString& text, Setup& setup) {
    QStringList parts = text.split(QLatin1Char(';'));
    if (parts.isEmpty() || parts.takeFirst() != kHeader) return false;
    QHash<QString, QString> values;
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0) return false;
        values.insert(part.left(eq), Decode(part.mid(eq + 1)));
    }

    setup.printer = values.value(QStringLiteral("printer"));
    setup.file = values.value(QStringLiteral("file"));

    int sizeId = 0, sizeUnits = 0, orientation = 0, units = 0;
    double width = 0, height = 0;
    if (!ToInt(values.value(QStringLiteral("size")), sizeId) || sizeId < 0 || sizeId > QPageSize::LastPageSize)
        return false;
    if (!ToDouble(values.value(QStringLiteral("width")), width) ||
        !ToDouble(values.value(QStringLiteral("height")), height) ||
        !ToInt(values.value(QStringLiteral("sizeunits")), sizeUnits) || sizeUnits < QPageSize::Millimeter ||
        sizeUnits > QPageSize::Cicero)
        return false;
    if (sizeId == QPageSize::Custom) {
        setup.size = QPageSize(QSizeF(width, height), QPageSize::Unit(sizeUnits), values.value(QStringLiteral("name")),
                               QPageSize::ExactMatch);
    } else {
        setup.size = QPageSize(QPageSize::PageSizeId(sizeId));
    }
    if (!setup.size.isValid()) return false;

    if (!ToInt(values.value(QStringLiteral("orientation")), orientation) ||
        (orientation != QPageLayout::Portrait && orientation != QPageLayout::Landscape))
        return false;
    setup.orientation = QPageLayout::Orientation(orientation);

    const QStringList m = values.value(QStringLiteral("margins")).split(QLatin1Char(','));
    double l = 0, t = 0, r = 0, b = 0;
    if (m.size() != 4 || !ToDouble(m[0], l) || !ToDouble(m[1], t) || !ToDouble(m[2], r) || !ToDouble(m[3], b))
        return false;
    setup.margins = QMarginsF(l, t, r, b);
    if (!ToInt(values.value(QStringLiteral("units")), units) || units < QPageLayout::Millimeter ||
        units > QPageLayout::Cicero)
        return false;
    setup.units = QPageLayout::Unit(units);

    return ToInt(values.value(QStringLiteral("resolution")), setup.resolution) && setup.resolution > 0;
}

} // namespace

QString SetupString(const QPrinter& printer) {
    const QPageLayout layout = printer.pageLayout();
    const QPageSize size = layout.pageSize();
    const QMarginsF m = layout.margins();
    const QStringList parts = {
        kHeader,
        QStringLiteral("printer=") + Encode(printer.printerName()),
        QStringLiteral("file=") + Encode(printer.outputFileName()),
        QStringLiteral("size=") + QString::number(int(size.id())),
        QStringLiteral("width=") + Number(size.definitionSize().width()),
        QStringLiteral("height=") + Number(size.definitionSize().height()),
        QStringLiteral("sizeunits=") + QString::number(int(size.definitionUnits())),
        QStringLiteral("name=") + Encode(size.name()),
        QStringLiteral("orientation=") + QString::number(int(layout.orientation())),
        QStringLiteral("margins=") + Encode(QStringList({Number(m.left()), Number(m.top()), Number(m.right()),
                                                          Number(m.bottom())})
                                                 .join(QLatin1Char(','))),
        QStringLiteral("units=") + QString::number(int(layout.units())),
        QStringLiteral("resolution=") + QString::number(printer.resolution()),
    };
    return parts.join(QLatin1Char(';'));
}

bool SetSetupString(QPrinter& printer, const QString& text) {
    Setup setup;
    if (!Parse(text, setup)) return false;

    // The printer and the output file first: choosing them resets the page to what that
    // printer supports. An empty printer name means PDF output.
    if (printer.printerName() != setup.printer) printer.setPrinterName(setup.printer);
    if (printer.outputFileName() != setup.file) {
        if (setup.file.isEmpty() && printer.outputFormat() == QPrinter::PdfFormat) {
            // Clearing the file through QPrinter would switch to the default printer.
            printer.printEngine()->setProperty(QPrintEngine::PPK_OutputFileName, QString());
        } else {
            printer.setOutputFileName(setup.file);
        }
    }

    const QPageLayout layout(setup.size, setup.orientation, setup.margins, setup.units);
    if (!printer.setPageLayout(layout)) {
        // Margins outside what this printer allows: keep the rest of the setup all the same.
        printer.setPageSize(setup.size);
        printer.setPageOrientation(setup.orientation);
        printer.setPageMargins(setup.margins, setup.units);
    }
    printer.setResolution(setup.resolution);
    return true;
}

} // namespace PrinterSetupString
