#include "DictionaryFile.h"

#include "Currency.h"
#include "FolderItemExtensions.h"
#include "PNGu.h"
#include "Val.h"
#include "WindowExtensions.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStringTokenizer>
#include <charconv>
#include <cmath>

namespace {

// Lengths in the string form count characters: a surrogate pair is one character.
bool IsPairAt(QStringView s, qsizetype i) {
    return i + 1 < s.size() && s[i].isHighSurrogate() && s[i + 1].isLowSurrogate();
}

qsizetype CharCount(QStringView s) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < s.size(); ++i, ++count)
        if (IsPairAt(s, i)) ++i;
    return count;
}

// The position `count` characters after `pos`, stopping at the end of the text.
qsizetype Advance(QStringView s, qsizetype pos, qint32 count) {
    for (; count > 0 && pos < s.size(); --count) pos += IsPairAt(s, pos) ? 2 : 1;
    return pos;
}

// Shortest text that reads back as the same Double, in plain decimals: at least one digit on
// each side of the point, at most twenty decimals, no exponent.
QString FormatDouble(double v) {
    if (!std::isfinite(v)) return QStringLiteral("0.0");
    QString s = QString::number(v, 'f', QLocale::FloatingPointShortest);
    qsizetype dot = s.indexOf(u'.');
    if (dot >= 0 && s.size() - dot - 1 > 20) {
        s = QString::number(v, 'f', 20);
        while (s.endsWith(u'0')) s.chop(1);
        dot = s.indexOf(u'.');
    }
    if (dot < 0) return s + QStringLiteral(".0");
    if (s.endsWith(u'.')) s += u'0';
    return s;
}

QString FormatFloat(float v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc()) return QString::number(v);
    return QString::fromLatin1(buf, end - buf);
}

// The runtime's text of a value that has no tag of its own.
QString TextForm(const QVariant& v) {
    if (!v.isValid()) return {};
    const QMetaType t = v.metaType();
    if (t == QMetaType::fromType<Currency>()) return v.value<Currency>().ToString();
    if (t.id() == QMetaType::Float) return FormatFloat(v.toFloat());
    if (t.id() == QMetaType::QByteArray) return QString::fromUtf8(v.toByteArray());
    if (t.id() == QMetaType::QDateTime) return v.toDateTime().toString(Qt::ISODateWithMs);
    return v.toString();
}

// An object, for the string form, is a value with no text form of its own.
bool IsOtherObject(const QVariant& v) {
    if (!v.isValid() || v.metaType() == QMetaType::fromType<Currency>()) return false;
    return !v.canConvert(QMetaType::fromType<QString>());
}

bool TagIs(QStringView tag, char16_t letter) {
    return tag.size() == 1 && tag.front().toLower() == QChar(letter);
}

} // namespace

DictionaryFile::KeyNotFound::KeyNotFound(const QString& key)
    : std::runtime_error("key not found: " + key.toStdString()) {}

DictionaryFile::DictionaryFile(std::initializer_list<std::pair<QString, QVariant>> pairs) {
    for (const auto& [key, value] : pairs) SetValue(key, value);
}

void DictionaryFile::Clear() {
    mEntries.clear();
    mIndex.clear();
}

bool DictionaryFile::HasKey(const QString& key) const {
    return mIndex.contains(key);
}

QString DictionaryFile::Key(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("DictionaryFile index out of range");
    return mEntries[static_cast<size_t>(index)].first;
}

void DictionaryFile::Remove(const QString& key) {
    const auto it = mIndex.constFind(key);
    if (it == mIndex.cend()) throw KeyNotFound(key);
    const qsizetype at = *it;
    mIndex.erase(it);
    mEntries.erase(mEntries.begin() + at);
    for (auto i = static_cast<size_t>(at); i < mEntries.size(); ++i) mIndex[mEntries[i].first] = static_cast<qsizetype>(i);
}

QVariant DictionaryFile::Value(const QString& key) const {
    const auto it = mIndex.constFind(key);
    if (it == mIndex.cend()) throw KeyNotFound(key);
    return mEntries[static_cast<size_t>(*it)].second;
}

QVariant DictionaryFile::Lookup(const QString& key, const QVariant& defaultValue) const {
    const auto it = mIndex.constFind(key);
    return it == mIndex.cend() ? defaultValue : mEntries[static_cast<size_t>(*it)].second;
}

QVariantList DictionaryFile::Values() const {
    QVariantList values;
    values.reserve(Count());
    for (const auto& entry : mEntries) values.append(entry.second);
    return values;
}

QStringList DictionaryFile::Keys() const {
    QStringList keys;
    keys.reserve(Count());
    for (const auto& entry : mEntries) keys.append(entry.first);
    return keys;
}

void DictionaryFile::SetValue(const QString& key, const QVariant& value) {
    const auto it = mIndex.constFind(key);
    if (it != mIndex.cend()) {
        mEntries[static_cast<size_t>(*it)].second = value;
        return;
    }
    mIndex.insert(key, static_cast<qsizetype>(mEntries.size()));
    mEntries.emplace_back(key, value);
}

QString DictionaryFile::GetStringValue() const {
    QString header;
    QString body;
    for (const auto& [key, value] : mEntries) {
        char16_t tag = u's';
        QString data;
        const QMetaType type = value.metaType();
        if (type == QMetaType::fromType<DictionaryFile>()) {
            tag = u'c';
            data = value.value<DictionaryFile>().GetStringValue();
        } else if (type == QMetaType::fromType<QFileInfo>()) {
            tag = u'f';
            const QFileInfo item = value.value<QFileInfo>();
            data = item.filePath().isEmpty() ? QString() : item.absoluteFilePath();
        } else if (type.id() == QMetaType::QImage) {
            tag = u'p';
            data = PictureToString(value);
        } else if (IsOtherObject(value)) {
            tag = u'o';
            if (ConvertObjectToString) data = ConvertObjectToString(value);
        } else if (type.id() == QMetaType::Int) {
            tag = u'i';
            data = QString::number(value.toInt());
        } else if (type.id() == QMetaType::Double) {
            tag = u'd';
            data = FormatDouble(value.toDouble());
        } else if (type.id() == QMetaType::Bool) {
            tag = u'b';
            data = value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        } else {
            data = TextForm(value);
        }
        header += u':';
        header += QChar(tag);
        header += QString::number(CharCount(key));
        header += u'.';
        header += QString::number(CharCount(data));
        body += key;
        body += data;
    }
    if (header.isEmpty()) return {};
    return header.mid(1) + u';' + body;
}

void DictionaryFile::SetStringValue(const QString& s) {
    Clear();
    qint64 pictureBudget = kMaxPicturePixels;
    Parse(s, 0, pictureBudget);
}

void DictionaryFile::Parse(QStringView s, int depth, qint64& pictureBudget) {
    const qsizetype semicolon = s.indexOf(u';');
    const QStringView header = semicolon < 0 ? s : s.left(semicolon);
    const QStringView body = semicolon < 0 ? QStringView() : s.mid(semicolon + 1);
    if (header.isEmpty()) return;

    qsizetype pos = 0;
    for (const QStringView field : QStringTokenizer(header, u':')) {
        const qsizetype tagSize = field.isEmpty() ? 0 : (IsPairAt(field, 0) ? 2 : 1);
        const QStringView tag = field.left(tagSize);
        const qsizetype dot1 = field.indexOf(u'.');
        QStringView keyPart;
        QStringView dataPart;
        if (dot1 < 0) {
            keyPart = field.mid(tagSize);
        } else {
            if (dot1 >= tagSize) keyPart = field.mid(tagSize, dot1 - tagSize);
            const qsizetype dot2 = field.indexOf(u'.', dot1 + 1);
            dataPart = dot2 < 0 ? field.mid(dot1 + 1) : field.mid(dot1 + 1, dot2 - dot1 - 1);
        }
        // A negative length (never written) takes nothing.
        const qint32 keyLength = std::max<qint32>(0, ToInt32(Val(keyPart)));
        const qint32 dataLength = std::max<qint32>(0, ToInt32(Val(dataPart)));

        const qsizetype keyStart = pos;
        pos = Advance(body, pos, keyLength);
        const QString key = body.mid(keyStart, pos - keyStart).toString();
        const qsizetype dataStart = pos;
        pos = Advance(body, pos, dataLength);
        const QStringView data = body.mid(dataStart, pos - dataStart);

        QVariant value;
        if (TagIs(tag, u'c')) {
            DictionaryFile nested;
            nested.ConvertObjectToString = ConvertObjectToString;
            nested.ConvertStringToObject = ConvertStringToObject;
            if (depth + 1 < kMaxNesting) nested.Parse(data, depth + 1, pictureBudget);
            value = QVariant::fromValue(nested);
        } else if (TagIs(tag, u'f')) {
            value = FolderItemExtensions::GetFolderItem(data.toString());
        } else if (TagIs(tag, u'p')) {
            value = StringToPicture(data.toString(), pictureBudget);
        } else if (TagIs(tag, u'i')) {
            value = ToInt32(Val(data));
        } else if (TagIs(tag, u'd')) {
            value = Val(data);
        } else if (TagIs(tag, u'b')) {
            value = Val(data) == 1.0;
        } else if (TagIs(tag, u'o')) {
            if (ConvertStringToObject) value = ConvertStringToObject(data.toString());
        } else {
            value = data.toString();
        }
        SetValue(key, value);
    }
}

QVariant DictionaryFile::GetValue(const QString& key, const QVariant& defaultValue) const {
    return HasKey(key) ? Value(key) : defaultValue;
}

QVariant DictionaryFile::IdxValue(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("DictionaryFile index out of range");
    return mEntries[static_cast<size_t>(index)].second;
}

QString DictionaryFile::IdxKey(int index) const {
    return Key(index);
}

// A picture travels as its PNG bytes, one character per byte.
QString DictionaryFile::PictureToString(const QVariant& picture) {
    return QString::fromLatin1(PNGu::GetData(picture.value<QImage>()));
}

QVariant DictionaryFile::StringToPicture(const QString& s, qint64& pictureBudget) {
    const QByteArray bytes = s.toLatin1();
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n")) return {};
    // The size its header declares decides, before a single pixel is decoded.
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&buffer, "png").size();
    if (!size.isValid() || qint64(size.width()) * size.height() > pictureBudget) return {};
    const QImage pic = PNGu::GetPictureWithMask(bytes);
    if (pic.isNull()) return {};
    pictureBudget -= qint64(pic.width()) * pic.height();
    return pic;
}

bool DictionaryFile::WriteToFile(const QString& path) const {
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = GetStringValue().toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool DictionaryFile::ReadFromFile(const QString& path) {
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    Clear();
    SetStringValue(QString::fromUtf8(file.readAll()));
    return true;
}

void DictionaryFile::SaveWindowPosition(const QRect& geometry, const QString& key) {
    SetValue(key, QStringLiteral("wp=%1,%2,%3,%4")
                      .arg(geometry.left())
                      .arg(geometry.top())
                      .arg(geometry.width())
                      .arg(geometry.height()));
}

std::optional<QRect> DictionaryFile::RestoreWindowPosition(const QString& key) const {
    return RestoreWindowPosition(key, WindowExtensions::ScreenGeometries());
}

std::optional<QRect> DictionaryFile::RestoreWindowPosition(const QString& key, const QList<QRect>& screens) const {
    const QString s = GetValue(key, QString()).toString();
    if (QStringView(s).left(3).compare(u"wp=", Qt::CaseInsensitive) != 0) return std::nullopt;
    const QList<QStringView> fields = QStringView(s).mid(3).split(u',');
    auto field = [&](qsizetype i) { return ToInt32(Val(i < fields.size() ? fields[i] : QStringView())); };
    const qint32 l = field(0), t = field(1), wd = field(2), ht = field(3);
    const qint64 r = qint64(l) + wd, b = qint64(t) + ht;
    if (CheckPointOnScreen(l, t, screens) || CheckPointOnScreen(l, b, screens) || CheckPointOnScreen(r, t, screens) ||
        CheckPointOnScreen(r, b, screens))
        return QRect(l, t, wd, ht);
    return std::nullopt;
}

// Both edges count as on the screen.
bool DictionaryFile::CheckPointOnScreen(qint64 x, qint64 y, const QList<QRect>& screens) {
    for (const QRect& screen : screens) {
        if (screen.left() <= x && x <= qint64(screen.left()) + screen.width() && screen.top() <= y &&
            y <= qint64(screen.top()) + screen.height())
            return true;
    }
    return false;
}

void DictionaryFile::SetBooleanInt(const QString& key, bool value) {
    SetValue(key, qint32(value ? 1 : 0));
}

bool operator==(const DictionaryFile& a, const DictionaryFile& b) {
    return a.mEntries == b.mEntries;
}
