#include "Currency.h"
#include "DictionaryFile.h"
#include "PictureCompare.h"
#include "QtPrinters.h"

#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

namespace {

DictionaryFile Parsed(const QString& s) {
    DictionaryFile d;
    d.SetStringValue(s);
    return d;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const QList<QRect> kOneScreen = {QRect(0, 0, 1024, 768)};

} // namespace

TEST(DictionaryFileTest, WorkedExamplesGiveTheirExactStringsAndParseBack) {
    EXPECT_EQ(DictionaryFile({{"a", qint32(1)}}).GetStringValue(), QStringLiteral("i1.1;a1"));

    const DictionaryFile mixed{{"n", qint32(-20)}, {"size", 2.5}, {"on", true}, {"note", QStringLiteral("x;y:z.")}};
    const QString s = mixed.GetStringValue();
    EXPECT_EQ(s, QStringLiteral("i1.3:d4.3:b2.1:s4.6;n-20size2.5on1notex;y:z."));
    const DictionaryFile back = Parsed(s);
    EXPECT_EQ(back.Keys(), QStringList({"n", "size", "on", "note"}));
    EXPECT_EQ(back.Value("n").metaType().id(), QMetaType::Int);
    EXPECT_EQ(back.Value("size").metaType().id(), QMetaType::Double);
    EXPECT_EQ(back.Value("on").metaType().id(), QMetaType::Bool);
    EXPECT_EQ(back, mixed);

    DictionaryFile inner{{"x", QStringLiteral("yz")}};
    const DictionaryFile outer{{"inner", QVariant::fromValue(inner)}};
    EXPECT_EQ(outer.GetStringValue(), QStringLiteral("c5.8;inners1.2;xyz"));
    const DictionaryFile outerBack = Parsed(outer.GetStringValue());
    ASSERT_EQ(outerBack.Value("inner").metaType(), QMetaType::fromType<DictionaryFile>());
    EXPECT_EQ(outerBack.Value("inner").value<DictionaryFile>(), inner);
}

TEST(DictionaryFileTest, EmptyTableIsTheEmptyString) {
    EXPECT_EQ(DictionaryFile().GetStringValue(), QString());
    DictionaryFile d{{"a", 1}};
    d.SetStringValue(QString());
    EXPECT_EQ(d.Count(), 0);
    EXPECT_EQ(Parsed(QStringLiteral(";anything")).Count(), 0);
}

TEST(DictionaryFileTest, DelimitersEmptyTextsAndCharactersNotBytesSurvive) {
    const QString wide = QString::fromUtf8("\xc3\xa4\xc3\xb6\xc3\xbc"); // three characters, six UTF-8 bytes
    const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");       // one character, two UTF-16 units
    const DictionaryFile d{{"k;:.", QStringLiteral(";;::..")},
                           {"", QString()},
                           {wide, emoji + QStringLiteral("x")},
                           {emoji, qint32(7)}};
    const QString s = d.GetStringValue();
    EXPECT_TRUE(s.startsWith(QStringLiteral("s4.6:s0.0:s3.2:i1.1;"))) << s.toStdString();
    EXPECT_EQ(Parsed(s), d);
}

TEST(DictionaryFileTest, NumbersAreWrittenPlainAndDoublesReadBackBitForBit) {
    EXPECT_EQ(DictionaryFile({{"a", qint32(-2147483647 - 1)}}).GetStringValue(), QStringLiteral("i1.11;a-2147483648"));
    auto d = [](double v) { return DictionaryFile({{"v", v}}).GetStringValue().section(u';', 1).mid(1); };
    EXPECT_EQ(d(2.0), QStringLiteral("2.0"));
    EXPECT_EQ(d(0.25), QStringLiteral("0.25"));
    EXPECT_EQ(d(-100.0), QStringLiteral("-100.0"));
    EXPECT_EQ(d(1e21), QStringLiteral("1000000000000000000000.0"));
    EXPECT_EQ(d(1e-25), QStringLiteral("0.0")); // below the twentieth decimal

    const QRegularExpression plain(QStringLiteral("^-?[0-9]+\\.[0-9]{1,20}$"));
    QRandomGenerator rng(20240601);
    QList<double> values = {1.0 / 3.0, 0.1, 100.0 / 7.0, 123456.789, 1e-4, 0.000123456789012345678, 5e15 + 0.5};
    for (int i = 0; i < 2000; ++i) values.append(std::ldexp(rng.generateDouble() + 0.5, rng.bounded(-9, 40)));
    for (double v : values) {
        for (double signedV : {v, -v}) {
            const QString text = d(signedV);
            ASSERT_TRUE(plain.match(text).hasMatch()) << text.toStdString();
            const QVariant back = Parsed(DictionaryFile({{"v", signedV}}).GetStringValue()).Value("v");
            ASSERT_TRUE(SameBits(back.toDouble(), signedV)) << text.toStdString();
        }
    }
}

TEST(DictionaryFileTest, BooleansAndKindsWithoutATagOfTheirOwn) {
    EXPECT_EQ(DictionaryFile({{"f", false}}).GetStringValue(), QStringLiteral("b1.1;f0"));
    EXPECT_TRUE(Parsed(QStringLiteral("b1.3;a1.0")).Value("a").toBool());
    EXPECT_FALSE(Parsed(QStringLiteral("b1.4;atrue")).Value("a").toBool());
    EXPECT_EQ(Parsed(QStringLiteral("b1.4;atrue")).Value("a").metaType().id(), QMetaType::Bool);

    DictionaryFile d{{"nil", QVariant()},
                     {"i64", qint64(1) << 40},
                     {"single", 0.1f},
                     {"money", QVariant::fromValue(Currency::FromUnits(-12345))},
                     {"date", QDateTime(QDate(2024, 2, 29), QTime(13, 5, 7), Qt::UTC)}};
    d.SetBooleanInt("flag", true);
    const QString s = d.GetStringValue();
    EXPECT_TRUE(s.startsWith(QStringLiteral("s3.0:s3.13:s6.3:s5.7:s4."))) << s.toStdString();
    const DictionaryFile back = Parsed(s);
    EXPECT_EQ(back.Value("nil"), QVariant(QString()));
    EXPECT_EQ(back.Value("i64"), QVariant(QStringLiteral("1099511627776")));
    EXPECT_EQ(back.Value("single"), QVariant(QStringLiteral("0.1")));
    EXPECT_EQ(back.Value("money"), QVariant(QStringLiteral("-1.2345")));
    EXPECT_EQ(back.Value("date").metaType().id(), QMetaType::QString);
    EXPECT_EQ(back.Value("flag"), QVariant(qint32(1)));
    EXPECT_EQ(back.Value("flag").metaType().id(), QMetaType::Int);
}

TEST(DictionaryFileTest, TagsLengthsAndRepeatedKeysOfOddInput) {
    EXPECT_EQ(Parsed(QStringLiteral("I1.1;a1")).Value("a"), QVariant(qint32(1)));
    EXPECT_EQ(Parsed(QStringLiteral("x1.1;a1")).Value("a"), QVariant(QStringLiteral("1")));
    for (const QString& s : {QStringLiteral("i1.1"), QStringLiteral("i1.1;")}) {
        const DictionaryFile d = Parsed(s);
        ASSERT_EQ(d.Count(), 1) << s.toStdString();
        EXPECT_EQ(d.Value(QString()), QVariant(qint32(0)));
    }
    const DictionaryFile twice = Parsed(QStringLiteral("s1.1:s1.1;a1a2"));
    EXPECT_EQ(twice.Count(), 1);
    EXPECT_EQ(twice.Value("a"), QVariant(QStringLiteral("2")));

    EXPECT_EQ(Parsed(QStringLiteral("sx.y;abc")).Value(QString()), QVariant(QString())); // non-numeric lengths read 0
    EXPECT_EQ(Parsed(QStringLiteral("s1.-3:s1.1;abc")).Value("b"), QVariant(QStringLiteral("c"))); // a negative length takes nothing
    const DictionaryFile huge = Parsed(QStringLiteral("s99999999999999999999.99999999999999;ab"));
    EXPECT_EQ(huge.Keys(), QStringList({"ab"}));
    EXPECT_EQ(huge.Value("ab"), QVariant(QString()));
    EXPECT_EQ(Parsed(QStringLiteral("i1.5;a12abc")).Value("a"), QVariant(qint32(12)));
    EXPECT_EQ(Parsed(QStringLiteral("i1.4;a-7.9")).Value("a"), QVariant(qint32(-7)));
    EXPECT_EQ(Parsed(QStringLiteral("i1.5;a9e99")).Value("a"), QVariant(qint32(2147483647)));
}

TEST(DictionaryFileTest, DeepNestingIsBoundedAndRandomTextNeverFails) {
    QString s = QStringLiteral("s1.1;ab");
    for (int i = 0; i < 2000; ++i) s = QStringLiteral("c1.%1;k").arg(s.size()) + s;
    const DictionaryFile d = Parsed(s); // would exhaust the stack without a bound
    int depth = 0;
    for (DictionaryFile level = d; level.HasKey("k"); level = level.Value("k").value<DictionaryFile>()) ++depth;
    EXPECT_EQ(depth, DictionaryFile::kMaxNesting);

    QRandomGenerator rng(7);
    const QString alphabet = QStringLiteral("cfpoidbsCI0123456789.:;-x") + QChar(0xd83d) + QChar(0xde00);
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int n = rng.bounded(0, 40);
        for (int i = 0; i < n; ++i) text += alphabet[rng.bounded(alphabet.size())];
        // Whatever came in, what goes out is a string form that reads back to itself.
        const QString once = Parsed(text).GetStringValue();
        ASSERT_EQ(Parsed(once).GetStringValue(), once) << text.toStdString();
    }
}

TEST(DictionaryFileTest, ObjectsGoThroughTheOwnersHooksIncludingNestedTables) {
    const QVariant object = QVariant::fromValue(QRect(1, 2, 3, 4)); // a value without a text form
    DictionaryFile plain{{"o", object}};
    EXPECT_EQ(plain.GetStringValue(), QStringLiteral("o1.0;o"));
    EXPECT_FALSE(Parsed(QStringLiteral("o1.2;oab")).Value("o").isValid());

    auto hooked = [](DictionaryFile d) {
        d.ConvertObjectToString = [](const QVariant& v) {
            const QRect r = v.toRect();
            return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        };
        d.ConvertStringToObject = [](const QString& s) {
            const QStringList f = s.split(u' ');
            return QVariant(QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt()));
        };
        return d;
    };
    const DictionaryFile outer = hooked({{"inner", QVariant::fromValue(hooked({{"r", object}}))}});
    DictionaryFile back = hooked({});
    back.SetStringValue(outer.GetStringValue());
    EXPECT_EQ(back.Value("inner").value<DictionaryFile>().Value("r"), object);
}

TEST(DictionaryFileTest, PicturesAndFolderItemsRoundTrip) {
    QImage pic = PictureCompare::Gradient(20, 10);
    QTemporaryDir dir;
    const QFileInfo item(QDir(dir.path()).filePath(QStringLiteral("photo 1.jpg")));
    const DictionaryFile d{{"pic", pic}, {"file", QVariant::fromValue(item)}};
    const DictionaryFile back = Parsed(d.GetStringValue());
    EXPECT_EQ(PictureCompare::Difference(back.Value("pic").value<QImage>(), pic), QString());
    ASSERT_EQ(back.Value("file").metaType(), QMetaType::fromType<QFileInfo>());
    EXPECT_EQ(back.Value("file").value<QFileInfo>().absoluteFilePath(), item.absoluteFilePath());
    EXPECT_FALSE(Parsed(QStringLiteral("p1.3;pabc")).Value("p").isValid()); // bytes that are no picture
}

TEST(DictionaryFileTest, FilesHoldTheStringFormAndReportFailure) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("restore"));
    const DictionaryFile d{{QString::fromUtf8("cl\xc3\xa9"), 1.5}, {"pic", PictureCompare::Gradient(4, 4)}};
    ASSERT_TRUE(d.WriteToFile(path));
    DictionaryFile back{{"stale", 1}};
    ASSERT_TRUE(back.ReadFromFile(path));
    EXPECT_EQ(back.Keys(), d.Keys());
    EXPECT_EQ(back.Value(QString::fromUtf8("cl\xc3\xa9")), QVariant(1.5));

    EXPECT_FALSE(d.WriteToFile(QString()));
    EXPECT_FALSE(d.WriteToFile(QDir(dir.path()).filePath(QStringLiteral("missing/restore"))));
    EXPECT_FALSE(back.ReadFromFile(QDir(dir.path()).filePath(QStringLiteral("nothing"))));
    EXPECT_EQ(back.Count(), 2); // a failed read leaves the table alone
}

TEST(DictionaryFileTest, InsertionOrderAndMissingKeys) {
    DictionaryFile d{{"b", 1}, {"a", 2}, {"c", 3}};
    d.SetValue("a", 20); // keeps its place
    d.Remove("b");
    EXPECT_EQ(d.Keys(), QStringList({"a", "c"}));
    EXPECT_EQ(d.IdxKey(1), QStringLiteral("c"));
    EXPECT_EQ(d.IdxValue(0), QVariant(20));
    EXPECT_EQ(d.Value("c"), QVariant(3)); // index still right after the removal
    EXPECT_EQ(d.GetValue("zz", 9), QVariant(9));
    EXPECT_THROW(d.Value("b"), DictionaryFile::KeyNotFound);
    EXPECT_THROW(d.Remove("b"), DictionaryFile::KeyNotFound);
    EXPECT_THROW(d.IdxKey(2), std::out_of_range);
}

TEST(DictionaryFileTest, RestoreWindowPositionNeedsOneCornerOnAScreenEdgesIncluded) {
    DictionaryFile d;
    d.SaveWindowPosition(QRect(120, 80, 640, 480), "w");
    EXPECT_EQ(d.Value("w"), QVariant(QStringLiteral("wp=120,80,640,480")));
    EXPECT_EQ(d.RestoreWindowPosition("w", kOneScreen), QRect(120, 80, 640, 480));

    d.SetValue("far", QStringLiteral("wp=-5000,-5000,640,480"));
    EXPECT_EQ(d.RestoreWindowPosition("far", kOneScreen), std::nullopt);
    d.SetValue("corner", QStringLiteral("wp=-600,-400,610,410")); // only the bottom-right corner is on the screen
    EXPECT_EQ(d.RestoreWindowPosition("corner", kOneScreen), QRect(-600, -400, 610, 410));
    d.SetValue("edge", QStringLiteral("WP=1024,768,100,100")); // top-left exactly on the right and bottom edges
    EXPECT_EQ(d.RestoreWindowPosition("edge", kOneScreen), QRect(1024, 768, 100, 100));
    d.SetValue("short", QStringLiteral("wp=10,20"));
    EXPECT_EQ(d.RestoreWindowPosition("short", kOneScreen), QRect(10, 20, 0, 0));
    d.SetValue("plain", QStringLiteral("120,80,640,480"));
    EXPECT_EQ(d.RestoreWindowPosition("plain", kOneScreen), std::nullopt);
    EXPECT_EQ(d.RestoreWindowPosition("missing", kOneScreen), std::nullopt);
}
