#include "Prefs.h"

#include "Currency.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "Val.h"

#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <charconv>
#include <limits>
#include <optional>
#include <unistd.h>

namespace Prefs {

namespace {

struct State {
    std::optional<QString> prefFile;
    std::optional<DictionaryFile> prefStorage;
    std::optional<DictionaryFile> tempStorage;
    bool useTempStorage = false;
    // The file on disk holds something the table does not (it could not be read, or some of
    // its lines could not be taken as they stand): keep it beside before replacing it.
    bool keepOldFile = false;
};

State& S() {
    static State state;
    return state;
}

// Every plain value text below holds no "=", "%", CR or LF, so it needs no escaping.

template <class T> QByteArray Shortest(T v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? QByteArray(buf, end - buf) : QByteArray("0");
}

template <class T> T ReadFloating(const QString& text) {
    const QByteArray s = text.trimmed().toLatin1();
    T v{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc() && end == s.data() + s.size()) return v;
    return static_cast<T>(Val(text));
}

// Colours as the runtime writes them: "&h", the transparency (255 - alpha), then RRGGBB.
QByteArray ColorText(const QColor& c) {
    if (!c.isValid()) return {};
    const QRgb rgba = c.rgba();
    return "&h" + QByteArray::number((quint64(255 - qAlpha(rgba)) << 24) | (rgba & 0xffffff), 16)
                      .rightJustified(8, '0')
                      .toUpper();
}

QColor ReadColor(const QString& text) {
    const QString t = text.trimmed();
    if (!t.startsWith(QStringLiteral("&h"), Qt::CaseInsensitive)) return {};
    const QString digits = t.mid(2);
    bool ok = false;
    const quint32 v = digits.toUInt(&ok, 16);
    if (!ok || (digits.size() != 6 && digits.size() != 8)) return {};
    return QColor::fromRgba(qRgba(qRed(v), qGreen(v), qBlue(v), 255 - int(v >> 24)));
}

bool ReadBoolean(const QString& text) {
    return text.trimmed().compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0 || Val(text) != 0.0;
}

qint32 ReadInteger(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : ToInt32(Val(text));
}

qint64 ReadInt64(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (ok) return v;
    const double d = Val(text);
    if (d != d) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

QByteArray Encode(const QString& text) {
    return text.toUtf8().toPercentEncoding();
}

// The type name and value text of a value, or nothing when it has no line in the file.
std::optional<std::pair<QByteArray, QByteArray>> Line(const QVariant& v) {
    const QMetaType type = v.metaType();
    switch (type.id()) {
    case QMetaType::Bool:
        return std::pair{QByteArray("boolean"), QByteArray(v.toBool() ? "True" : "False")};
    case QMetaType::QColor:
        return std::pair{QByteArray("color"), ColorText(v.value<QColor>())};
    default:
        break;
    }
    if (type == QMetaType::fromType<Currency>())
        return std::pair{QByteArray("currency"), v.value<Currency>().ToString().toLatin1()};
    switch (type.id()) {
    case QMetaType::QDateTime: {
        const QDateTime d = v.toDateTime();
        return std::pair{QByteArray("date"), d.isValid() ? d.toString(Qt::ISODateWithMs).toLatin1() : QByteArray()};
    }
    case QMetaType::Double:
        return std::pair{QByteArray("double"), Shortest(v.toDouble())};
    case QMetaType::Int:
        return std::pair{QByteArray("integer"), QByteArray::number(v.toInt())};
    case QMetaType::LongLong:
        return std::pair{QByteArray("int64"), QByteArray::number(v.toLongLong())};
    case QMetaType::Float:
        return std::pair{QByteArray("single"), Shortest(v.toFloat())};
    case QMetaType::QString:
        return std::pair{QByteArray("string"), Encode(v.toString())};
    case QMetaType::QByteArray:
        return std::pair{QByteArray("binarydata"), v.toByteArray().toPercentEncoding()};
    default:
        break;
    }
    if (type == QMetaType::fromType<QFileInfo>()) {
        const QFileInfo item = v.value<QFileInfo>();
        return std::pair{QByteArray("folderitem"), Encode(item.filePath().isEmpty() ? QString() : item.absoluteFilePath())};
    }
    return std::nullopt;
}

// Field `n` (0-based) of a line cut at "=", without cutting the rest of it.
QByteArrayView Field(QByteArrayView line, int n) {
    qsizetype start = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype eq = line.indexOf('=', start);
        if (eq < 0) return {};
        start = eq + 1;
    }
    const qsizetype end = line.indexOf('=', start);
    return line.sliced(start, (end < 0 ? line.size() : end) - start);
}

// Reads one line into the table. True when the line was taken as it stands, so that saving
// the table writes it again: false for a line that is ignored, is cut short or reads as
// something else than it says.
bool ReadLine(QByteArrayView line, DictionaryFile& table) {
    const QByteArray rawKey = QByteArray::fromPercentEncoding(Field(line, 0).toByteArray());
    const QString key = QString::fromUtf8(rawKey);
    const QByteArrayView typeName = Field(line, 1);
    const QByteArray raw = QByteArray::fromPercentEncoding(Field(line, 2).toByteArray());
    const QString text = QString::fromUtf8(raw);

    auto is = [&](const char* name) { return typeName.compare(name, Qt::CaseInsensitive) == 0; };
    QVariant value;
    if (is("boolean"))
        value = ReadBoolean(text);
    else if (is("binarydata"))
        value = raw;
    else if (is("color"))
        value = ReadColor(text);
    else if (is("currency"))
        value = QVariant::fromValue(Currency::FromString(text));
    else if (is("date"))
        value = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    else if (is("double"))
        value = ReadFloating<double>(text);
    else if (is("integer"))
        value = ReadInteger(text);
    else if (is("int64"))
        value = ReadInt64(text);
    else if (is("single"))
        value = ReadFloating<float>(text);
    else if (is("string"))
        value = text;
    else if (is("folderItem"))
        value = FolderItemExtensions::GetFolderItem(text);
    else
        return false;
    const bool seen = table.HasKey(key);
    table.SetValue(key, value);

    const auto written = Line(value);
    return !seen && written && rawKey == key.toUtf8() && typeName.compare(written->first, Qt::CaseInsensitive) == 0 &&
           raw == QByteArray::fromPercentEncoding(written->second) && line.count('=') == 2;
}

// A name beside `path` that no file has yet: "Kestrine.bak", then "Kestrine.2.bak", ...
QString FreeBackupName(const QString& path) {
    QString name = path + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = path + QLatin1Char('.') + QString::number(n) + QStringLiteral(".bak");
    return name;
}

// Keeps the file at `path` beside it under a free name: as a second link to the same file when
// the file system allows (which needs no reading, so it also works for a file that cannot be
// read), else as a copy. Raises NilObjectException when neither works.
void KeepBeside(const QString& path) {
    const QString backup = FreeBackupName(path);
    // A second link to a symbolic link would follow the file it names when that is replaced.
    const bool symLink = QFileInfo(path).isSymLink();
    if (!symLink && ::link(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) == 0) return;
    if (QFileInfo(path).isFile() && QFile::copy(path, backup)) return;
    throw NilObjectException("the preferences file cannot be kept before it is replaced");
}

} // namespace

void LoadPrefs(const QString& name) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) throw NilObjectException("no preferences folder");
    State& s = S();
    s.prefFile = QDir(folder).filePath(name);
    s.prefStorage = DictionaryFile();
    s.keepOldFile = false;
    if (!QFileInfo::exists(*s.prefFile)) return;

    QByteArray text;
    try {
        text = FolderItemExtensions::text(*s.prefFile);
    } catch (...) {
        s.keepOldFile = true;
        throw;
    }
    // Lines end with CR, LF or CR LF; an empty line holds nothing to keep.
    const QByteArrayView all(text);
    for (qsizetype start = 0; start < all.size();) {
        qsizetype end = start;
        while (end < all.size() && all[end] != '\n' && all[end] != '\r') ++end;
        const QByteArrayView line = all.sliced(start, end - start);
        if (!line.isEmpty() && !ReadLine(line, *s.prefStorage)) s.keepOldFile = true;
        start = end + (end + 1 < all.size() && all[end] == '\r' && all[end + 1] == '\n' ? 2 : 1);
    }
}

void SavePrefs() {
    State& s = S();
    if (!s.prefFile) return;
    QByteArray text;
    if (s.prefStorage) {
        for (int i = 0; i < s.prefStorage->Count(); ++i) {
            const auto line = Line(s.prefStorage->IdxValue(i));
            if (!line) continue;
            text += Encode(s.prefStorage->IdxKey(i));
            text += '=';
            text += line->first;
            text += '=';
            text += line->second;
            text += '\n';
        }
    }
    // A fresh home may have no preferences folder yet.
    QDir().mkpath(QFileInfo(*s.prefFile).absolutePath());
    const QFileInfo old(*s.prefFile);
    if (s.keepOldFile && (old.exists() || old.isSymLink())) KeepBeside(*s.prefFile);
    s.keepOldFile = false;
    // Its failure names the system's reason, which is all the user needs.
    FolderItemExtensions::SetText(*s.prefFile, text);
}

QVariant GetPref(const QString& key, const QVariant& defaultValue) {
    const State& s = S();
    if (!s.prefStorage) return defaultValue;
    return s.prefStorage->Lookup(key, defaultValue);
}

void SetPref(const QString& key, const QVariant& value) {
    State& s = S();
    std::optional<DictionaryFile>& table = s.useTempStorage ? s.tempStorage : s.prefStorage;
    if (!table) table.emplace();
    table->SetValue(key, value);
}

bool UseTempStorage() {
    return S().useTempStorage;
}

void SetUseTempStorage(bool on) {
    S().useTempStorage = on;
}

const DictionaryFile* TempStorage() {
    const State& s = S();
    return s.tempStorage ? &*s.tempStorage : nullptr;
}

const DictionaryFile* PrefStorage() {
    const State& s = S();
    return s.prefStorage ? &*s.prefStorage : nullptr;
}

QString PrefFile() {
    const State& s = S();
    return s.prefFile ? *s.prefFile : QString();
}

void Reset() {
    S() = State();
}

} // namespace Prefs
