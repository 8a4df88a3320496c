#include "App.h"
#include "EditWindow.h"
#include "FileTypes1.h"
#include "MenuBar1.h"
#include "PassportPhotoInfo.h"
#include "Site.h"
#include "TestApp.h"
#include "Toolbar1.h"
#include "winPrefs.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

struct DesktopTest : AppTest {
    QString pictures;
    void SetUp() override {
        AppTest::SetUp();
        // The XDG pictures folder, as the desktop's user-dirs file names it.
        pictures = sandbox.Root() + QStringLiteral("/Bilder");
        QDir().mkpath(pictures);
        QFile dirs(sandbox.ConfigHome() + QStringLiteral("/user-dirs.dirs"));
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_PICTURES_DIR=\"" + QFile::encodeName(pictures) + "\"\n");
        dirs.close();
        ASSERT_EQ(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), pictures);
    }
    QString Folder(const char* name) const {
        const QString path = sandbox.Root() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        return path;
    }
};

TEST_F(DesktopTest, FileDialogsStartWhereTheUserLastChoseElseInThePicturesFolder) {
    using F = Desktop::Folder;
    EXPECT_EQ(Desktop::StartFolder(F::OpenPicture), pictures);
    EXPECT_EQ(Desktop::StartFolder(F::SaveJpg), pictures);

    // Each dialog keeps its own folder, and the preferences file keeps both across runs.
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    const QString camera = Folder("camera"), sheets = Folder("sheets");
    Desktop::RememberFolder(F::OpenPicture, camera + QStringLiteral("/IMG_0001.JPG"));
    Desktop::RememberFolder(F::SaveJpg, sheets + QStringLiteral("/First Last Passport Photo.jpg"));
    Desktop::RememberFolder(F::OpenPicture, QString()); // cancelled: nothing to keep
    Prefs::SavePrefs();
    Prefs::Reset();
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    EXPECT_EQ(Desktop::StartFolder(F::OpenPicture), camera);
    EXPECT_EQ(Desktop::StartFolder(F::SaveJpg), sheets);

    // A folder that has gone is not offered; without a pictures folder, home.
    ASSERT_TRUE(QDir(camera).removeRecursively());
    EXPECT_EQ(Desktop::StartFolder(F::OpenPicture), pictures);
    ASSERT_TRUE(QDir(pictures).removeRecursively());
    EXPECT_EQ(Desktop::StartFolder(F::OpenPicture), QDir::homePath());
    EXPECT_EQ(Desktop::StartFolder(F::SaveJpg), sheets);
}

TEST_F(DesktopTest, FileDialogsNameTheirFilterAndProposeTheSheetInTheStartFolder) {
    const QString filter = FileTypes1::JPEG().Filter();
    QFileDialog open;
    Desktop::PrepareFileDialog(open, Desktop::Folder::OpenPicture, filter);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(open.directory().absolutePath(), pictures);
    EXPECT_EQ(open.nameFilters(), QStringList({filter})); // still matches any letter case
    auto* types = open.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(types);
    EXPECT_EQ(types->currentText(), QStringLiteral("JPEG"));

    const QString sheets = Folder("sheets");
    Desktop::RememberFolder(Desktop::Folder::SaveJpg, sheets + QStringLiteral("/old.jpg"));
    QFileDialog save;
    Desktop::PrepareFileDialog(save, Desktop::Folder::SaveJpg, filter, QStringLiteral("First Last Passport Photo.jpg"));
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save.directory().absolutePath(), sheets);
    auto* name = save.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->text(), QStringLiteral("First Last Passport Photo.jpg"));
    EXPECT_EQ(save.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText(), QStringLiteral("JPEG"));
}

TEST_F(DesktopTest, APageNoBrowserTakesIsReportedWithWhereToFindIt) {
    desktop->urlAnswers = {true, false, false, false};
    Desktop::Current().ShowURL(QUrl(QStringLiteral("https://kestrine.app/purchase.html")));
    EXPECT_TRUE(desktop->messages.isEmpty());

    const QUrl help = Site::PageURL(QStringLiteral("help.html"));
    EXPECT_TRUE(app->_HelpHelp_Action());
    const QString where = help.isLocalFile() ? help.toLocalFile() : help.toString();
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_EQ(desktop->messages[0],
              QStringLiteral("The page \"help.html\" could not be opened. You can find it at ") + where + '.');

    Desktop::Current().ShowURL(QUrl::fromLocalFile(QStringLiteral("/opt/kestrine/site/uk_requirements.html")));
    Desktop::Current().ShowURL(QUrl(QStringLiteral("https://kestrine.app/")));
    EXPECT_EQ(desktop->messages.mid(1),
              QStringList({"The page \"uk_requirements.html\" could not be opened. You can find it at "
                           "/opt/kestrine/site/uk_requirements.html.",
                           "The page \"kestrine.app\" could not be opened. You can find it at https://kestrine.app/."}));
    EXPECT_EQ(desktop->urls.size(), 4);
}

// What the user reads on the windows: captions of buttons, check boxes, labels (without their
// colon), popup rows, menu items and toolbar buttons (without their mnemonic marks).
QSet<QString> CaptionsOf(QWidget& window) {
    QSet<QString> out;
    for (auto* b : window.findChildren<QAbstractButton*>()) out << b->text();
    for (auto* l : window.findChildren<QLabel*>()) out << l->text().remove(QRegularExpression(QStringLiteral(":$")));
    for (auto* c : window.findChildren<QComboBox*>())
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    for (auto* a : window.findChildren<QAction*>()) out << a->text().remove(QLatin1Char('&'));
    return out;
}

TEST_F(DesktopTest, EveryControlTheHelpPageNamesIsCaptionedSoOnScreen) {
    QFile page(QStringLiteral(KESTRINE_SITE_DIR "/help.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());

    QSet<QString> captions;
    desktop->modalScripts.push_back([&](QDialog& editor) {
        captions += CaptionsOf(editor);
        // The requirements button's other caption.
        editor.findChild<QComboBox*>(QStringLiteral("puFormat"))->setCurrentIndex(1);
        captions += CaptionsOf(editor);
        return int(QDialog::Rejected);
    });
    PassportPhotoInfo photo;
    EXPECT_FALSE(EditWindow::Instance().AddOrEditPhoto(&photo));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    captions += CaptionsOf(*winPrefs::Instance());
    captions += CaptionsOf(*MenuBar1());
    Toolbar1 toolbar;
    captions += CaptionsOf(toolbar);

    int named = 0;
    const QRegularExpression bold(QStringLiteral("<b>(.*?)</b>"), QRegularExpression::DotMatchesEverythingOption);
    for (auto it = bold.globalMatch(html); it.hasNext(); ++named) {
        const QString name = it.next().captured(1).simplified();
        EXPECT_TRUE(captions.contains(name)) << name.toStdString();
    }
    EXPECT_GE(named, 10);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<winPrefs*>(w)) delete w;
}

} // namespace
