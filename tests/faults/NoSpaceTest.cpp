#include "ChildProcess.h"
#include "PictureCompare.h"
#include "QtPrinters.h"
#include "StoredData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/wait.h>

// A disk that fills up while the application writes (the fault shim refuses writes past a byte
// count with ENOSPC, as a full disk does): the user is told so in the system's words, and what
// was there before is left as it was, with nothing beside it.
namespace {

const QByteArray kEarlier("the user's earlier file");

struct NoSpaceTest : ::testing::Test {
    QTemporaryDir dir;
    QString Root() const { return dir.path(); }
    QString Config() const { return Root() + QStringLiteral("/config"); }
    QString Out() const { return Root() + QStringLiteral("/out"); }

    // Runs the harness's `op`; with `noSpaceAfter` >= 0 every write past that many bytes fails.
    // The messages the user saw.
    QStringList Run(const std::string& op, qint64 noSpaceAfter, const QString& argument = {}) {
        ChildProcess::Environment env{{"XDG_DATA_HOME", (Root() + QStringLiteral("/data")).toStdString()},
                                      {"XDG_CONFIG_HOME", Config().toStdString()},
                                      {"XDG_RUNTIME_DIR", (Root() + QStringLiteral("/runtime")).toStdString()}};
        if (noSpaceAfter >= 0) {
            env.push_back({"LD_PRELOAD", FAULT_SHIM});
            env.push_back({"KESTRINE_FAULT_MANUAL", "1"});
            env.push_back({"KESTRINE_FAULT_NOSPACE_AFTER", std::to_string(noSpaceAfter)});
        }
        std::vector<std::string> args{op, "-"};
        if (!argument.isEmpty()) args.push_back(argument.toStdString());
        ChildProcess child(FULL_DISK_HARNESS, args, env);
        const int status = child.Finish();
        bool done = false;
        QStringList messages;
        for (const std::string& line : child.Lines()) {
            if (line.rfind("message ", 0) == 0) messages << QString::fromStdString(line.substr(8));
            done = done || line == "done";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && done) << child.Output();
        return messages;
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* sub : {"/data", "/config", "/runtime", "/out"}) QDir().mkpath(Root() + QLatin1String(sub));
        QFile::setPermissions(Root() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString picture = dir.filePath(QStringLiteral("portrait.jpg"));
        ASSERT_TRUE(QImageWriter(picture, "jpeg").write(PictureCompare::Gradient(300, 400)));
        ASSERT_EQ(Run("add", -1, picture), QStringList());
        ASSERT_EQ(Run("prefs", -1), QStringList());
    }
};

TEST_F(NoSpaceTest, AFullDiskIsNamedInTheMessageAndTheEarlierFileStays) {
    struct Case {
        std::string op;
        QString target;   // the file the operation replaces
        QString argument; // for the harness
        QString told;     // what the message starts with
    };
    const QString sheet = Out() + QStringLiteral("/photo.jpg"), pdf = Out() + QStringLiteral("/photos.pdf");
    const QList<Case> cases = {
        {"export", sheet, sheet, QStringLiteral("The picture could not be saved as \"photo.jpg\".")},
        {"print", pdf, pdf, QStringLiteral("The photos could not be printed: No space left on device.")},
        {"prefs", Config() + QStringLiteral("/Kestrine"), {},
         QStringLiteral("Your preferences could not be saved to \"%1/Kestrine\": No space left on device.").arg(Config())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        // How much the whole write takes.
        qint64 size = 0;
        if (c.argument.isEmpty()) {
            size = QFileInfo(c.target).size() + 1; // "False" for "True"
        } else {
            const QString whole = Out() + QStringLiteral("/whole");
            ASSERT_EQ(Run(c.op, -1, whole), QStringList());
            size = QFileInfo(whole).size();
            QFile::remove(whole);
            QFile f(c.target);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(kEarlier);
        }
        ASSERT_GT(size, 1);
        const QByteArray before = StoredData::ReadFile(c.target);
        const QStringList files = StoredData::Files(QFileInfo(c.target).path());
        for (const qint64 limit : {qint64(0), size / 2, size - 1}) {
            SCOPED_TRACE("writes refused past " + std::to_string(limit) + " of " + std::to_string(size) + " bytes");
            const QStringList told = Run(c.op, limit, c.argument);
            ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
            EXPECT_TRUE(told[0].startsWith(c.told)) << told[0].toStdString();
            EXPECT_TRUE(told[0].contains(QStringLiteral("No space left on device"))) << told[0].toStdString();
            EXPECT_EQ(StoredData::ReadFile(c.target), before);
            EXPECT_EQ(StoredData::Files(QFileInfo(c.target).path()), files) << "a partial file was left";
        }
    }

    // A new photo: refused by the picture file's write or by the database's, each in the system's
    // words, with the rows and files as they were. Steps of half the picture file's size land
    // inside its write at least once.
    const QString data = Root() + QStringLiteral("/data/Kestrine");
    QImage noise(900, 1200, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, random.generate() | 0xff000000u);
    const QString noisy = dir.filePath(QStringLiteral("noisy.jpg"));
    QImageWriter jpeg(noisy, "jpeg");
    jpeg.setQuality(95);
    ASSERT_TRUE(jpeg.write(noise));
    ASSERT_EQ(Run("add", -1, noisy), QStringList());
    const qint64 step = QFileInfo(data + QStringLiteral("/2")).size() / 2;
    ASSERT_GT(step, 100000);
    int byFile = 0;
    for (qint64 limit = 0;; limit += step) {
        SCOPED_TRACE("a new photo, writes refused past " + std::to_string(limit) + " bytes");
        const auto rows = StoredData::Rows(data);
        const QStringList files = StoredData::Files(data);
        const QStringList told = Run("add", limit, noisy);
        if (told.isEmpty()) break; // the whole photo fitted
        ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
        EXPECT_TRUE(told[0].contains(QStringLiteral("could not be saved"))) << told[0].toStdString();
        const bool named = told[0].contains(QStringLiteral("No space left on device"));
        byFile += named;
        EXPECT_TRUE(named || told[0].contains(QStringLiteral("database or disk is full"))) << told[0].toStdString();
        EXPECT_TRUE(StoredData::Rows(data) == rows) << "rows changed by a failed save";
        EXPECT_EQ(StoredData::Files(data), files) << "files changed or left by a failed save";
        ASSERT_LT(limit, 100 * step) << "the save never fitted";
    }
    EXPECT_GT(byFile, 0) << "no step landed in the picture file's write";
}

} // namespace
