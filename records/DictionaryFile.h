#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

// A key/value table that keeps its keys in insertion order and can turn all its entries, with
// the kind of every value, into one self-describing string and rebuild itself from it.
//
// Kinds that survive the string form: a nested DictionaryFile, a folder item (QFileInfo), a
// picture (QImage), qint32, double and bool. Other objects (values without a text form) go
// through the two conversion hooks. Everything else (text, nil, Int64, Single, Currency, Date,
// Color, ...) is written as its text and reads back as QString.
//
// Nested tables are held by value (QVariant::fromValue(DictionaryFile)), so a table can never
// contain itself.
class DictionaryFile {
public:
    // Raised when a missing key is read with Value() or removed.
    class KeyNotFound : public std::runtime_error {
    public:
        explicit KeyNotFound(const QString& key);
    };

    // Deeper "c" entries than this in a parsed string are read as empty tables, so a hostile
    // string cannot exhaust the stack.
    static constexpr int kMaxNesting = 64;
    // All "p" entries of one parsed string together decode to at most this many pixels (about
    // one camera photo); the rest read as nil. A few kilobytes of PNG can claim gigabytes.
    static constexpr qint64 kMaxPicturePixels = 50'000'000;

    DictionaryFile() = default;
    DictionaryFile(std::initializer_list<std::pair<QString, QVariant>> pairs);

    int Count() const { return static_cast<int>(mEntries.size()); }
    void Clear();
    bool HasKey(const QString& key) const;
    // The key at `index` (0 .. Count()-1) in insertion order; std::out_of_range otherwise.
    QString Key(int index) const;
    void Remove(const QString& key);
    QVariant Value(const QString& key) const;
    QVariant Lookup(const QString& key, const QVariant& defaultValue) const;
    QVariantList Values() const;
    QStringList Keys() const;
    // Stores `value` under `key`: a new key goes last, an existing one keeps its place.
    void SetValue(const QString& key, const QVariant& value);

    // The string form: "tag keylen.datalen:...;" then every key followed by its data. Doubles
    // are plain decimals with at most twenty places, so those from 0.0001 up read back exactly.
    QString GetStringValue() const;
    // Clears the table and fills it from a string form. Accepts any text without failing.
    void SetStringValue(const QString& s);

    QVariant GetValue(const QString& key, const QVariant& defaultValue) const;
    QVariant IdxValue(int index) const;
    QString IdxKey(int index) const;

    // The string form as the file's whole text (UTF-8), replacing the file atomically.
    // False when there is no path or the file cannot be written.
    bool WriteToFile(const QString& path) const;
    // Clears the table and parses the file's whole text. False when there is no path or the
    // file cannot be opened.
    bool ReadFromFile(const QString& path);

    // Stores "wp=left,top,width,height" under `key`.
    void SaveWindowPosition(const QRect& geometry, const QString& key);
    template <class Window> void SaveWindowPosition(const Window& window, const QString& key) {
        SaveWindowPosition(window.geometry(), key);
    }
    // The stored rectangle when the value starts with "wp=" (any case) and at least one of its
    // corners lies on a screen (edges included); nothing otherwise.
    std::optional<QRect> RestoreWindowPosition(const QString& key) const;
    std::optional<QRect> RestoreWindowPosition(const QString& key, const QList<QRect>& screens) const;
    template <class Window> void RestoreWindowPosition(Window& window, const QString& key) const {
        if (const auto r = RestoreWindowPosition(key)) window.setGeometry(*r);
    }

    // Stores qint32 1 or 0 (read back as an integer, not a Boolean).
    void SetBooleanInt(const QString& key, bool value);

    // Hooks the owner may install for "o" entries. Without them an object is written as ""
    // and an "o" entry reads back as nil. Tables parsed from nested entries get the same hooks.
    std::function<QString(const QVariant&)> ConvertObjectToString;
    std::function<QVariant(const QString&)> ConvertStringToObject;

    // Same keys in the same order with equal values; the hooks are not compared.
    friend bool operator==(const DictionaryFile& a, const DictionaryFile& b);
    friend bool operator!=(const DictionaryFile& a, const DictionaryFile& b) { return !(a == b); }

private:
    void Parse(QStringView s, int depth, qint64& pictureBudget);
    static bool CheckPointOnScreen(qint64 x, qint64 y, const QList<QRect>& screens);
    static QString PictureToString(const QVariant& picture);
    static QVariant StringToPicture(const QString& s, qint64& pictureBudget);

    std::vector<std::pair<QString, QVariant>> mEntries;
    QHash<QString, qsizetype> mIndex; // key -> position in mEntries
};

Q_DECLARE_METATYPE(DictionaryFile)
