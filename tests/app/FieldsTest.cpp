#include "App.h"
#include "TestApp.h"
#include "CutCopyPasteField.h"
#include "EditfieldWithLinks.h"
#include "QtPrinters.h"
#include "XdgSandbox.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct FieldsTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    void SetUp() override { app = NewTestApp(); }
    void TearDown() override { app.reset(); }
};

// The centre of the character at `pos`, in the field's viewport coordinates.
QPoint CharCentre(const EditfieldWithLinks& field, int pos) {
    QTextCursor c(field.document());
    c.setPosition(pos);
    const QRect left = field.cursorRect(c);
    c.setPosition(pos + 1);
    const QRect right = field.cursorRect(c);
    // At the end of a line the next position starts the next line; use half a character width.
    const int x = right.top() == left.top() ? (left.x() + right.x()) / 2 : left.x() + 3;
    return QPoint(x, left.center().y());
}

Qt::CursorShape Shape(const EditfieldWithLinks& field) {
    return field.viewport()->cursor().shape();
}

struct LinkedField {
    EditfieldWithLinks field;
    LinkedField() {
        field.resize(300, 200);
        field.AddText(QStringLiteral("Website: \n"), true);
        field.AddText(QStringLiteral("     "), false);
        field.AddLink(QStringLiteral("example"), QString());
        field.AddText(QStringLiteral(" after"), false);
        field.show();
    }
};

TEST_F(FieldsTest, AFieldWithoutLinksNeverShowsTheHandNorRaisesLinkClicked) {
    EditfieldWithLinks field;
    field.resize(300, 200);
    field.AddText(QStringLiteral("plain words only"), false);
    field.show();
    QSignalSpy clicks(&field, &EditfieldWithLinks::LinkClicked);
    for (int pos = 0; pos < 16; ++pos) {
        const QPoint p = CharCentre(field, pos);
        QTest::mouseMove(field.viewport(), p);
        field.Event_MouseMove(p.x(), p.y());
        EXPECT_EQ(Shape(field), Qt::ArrowCursor) << pos;
        QTest::mouseClick(field.viewport(), Qt::LeftButton, {}, p);
    }
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(FieldsTest, LinkRangeIsExclusiveAtItsEndAndSurvivesLaterAppends) {
    LinkedField f;
    ASSERT_EQ(f.field.LinkCount(), 1);
    EXPECT_EQ(f.field.LinkStartOf(0), 15);
    EXPECT_EQ(f.field.LinkEndOf(0), 22);
    EXPECT_EQ(f.field.LinkTargetOf(0), QStringLiteral("example"));
    EXPECT_EQ(f.field.toPlainText(), QStringLiteral("Website: \n     example after"));

    const QPoint first = CharCentre(f.field, 15);
    EXPECT_EQ(f.field.CharPosAtXY(first.x(), first.y()), 15);
    f.field.Event_MouseMove(first.x(), first.y());
    EXPECT_EQ(Shape(f.field), Qt::PointingHandCursor);
    const QPoint last = CharCentre(f.field, 21);
    f.field.Event_MouseMove(last.x(), last.y());
    EXPECT_EQ(Shape(f.field), Qt::PointingHandCursor);
    const QPoint after = CharCentre(f.field, 22);
    f.field.Event_MouseMove(after.x(), after.y());
    EXPECT_EQ(Shape(f.field), Qt::ArrowCursor);
    const QPoint before = CharCentre(f.field, 14);
    f.field.Event_MouseMove(before.x(), before.y());
    EXPECT_EQ(Shape(f.field), Qt::ArrowCursor);
    // Past the end of a line there is no character at all.
    f.field.Event_MouseMove(280, first.y());
    EXPECT_EQ(Shape(f.field), Qt::ArrowCursor);

    // The pointer leaving the field, or the field closing, brings the arrow back.
    f.field.Event_MouseMove(first.x(), first.y());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.field, &leave);
    EXPECT_EQ(Shape(f.field), Qt::ArrowCursor);
    f.field.Event_MouseMove(first.x(), first.y());
    f.field.hide();
    EXPECT_EQ(Shape(f.field), Qt::ArrowCursor);

    f.field.AddText(QStringLiteral("\nmore text at the end"), true);
    f.field.AddLink(QStringLiteral("second"), QStringLiteral("https://example.org/two"));
    EXPECT_EQ(f.field.LinkStartOf(0), 15);
    EXPECT_EQ(f.field.LinkEndOf(0), 22);
    ASSERT_EQ(f.field.LinkCount(), 2);
    EXPECT_EQ(f.field.LinkStartOf(1), 49);
    EXPECT_EQ(f.field.LinkEndOf(1), 55);
    EXPECT_EQ(f.field.LinkTargetOf(1), QStringLiteral("https://example.org/two"));
    EXPECT_TRUE(f.field.toPlainText().endsWith(QStringLiteral("end") + QStringLiteral("second")));
}

TEST_F(FieldsTest, AppendsAreStyledAndLeaveTheCaretAtTheTop) {
    LinkedField f;
    auto formatAt = [&](int pos) {
        QTextCursor c(f.field.document());
        c.setPosition(pos + 1);
        return c.charFormat();
    };
    EXPECT_EQ(formatAt(0).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(0).foreground().color(), QColor(0, 0, 0));
    EXPECT_EQ(formatAt(11).fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(15).foreground().color(), QColor(0, 0, 0xFF));
    EXPECT_EQ(formatAt(15).fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(23).foreground().color(), QColor(0, 0, 0));
    EXPECT_EQ(f.field.textCursor().position(), 0);
    EXPECT_FALSE(f.field.textCursor().hasSelection());
}

TEST_F(FieldsTest, AClickOnALinkRaisesLinkClickedOnceAndStillPlacesTheCaret) {
    LinkedField f;
    QSignalSpy clicks(&f.field, &EditfieldWithLinks::LinkClicked);
    const QPoint p = CharCentre(f.field, 17);
    QTest::mouseClick(f.field.viewport(), Qt::LeftButton, {}, p);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].toString(), QStringLiteral("example"));
    const int caret = f.field.textCursor().position();
    EXPECT_TRUE(caret == 17 || caret == 18) << caret;

    QTest::mouseClick(f.field.viewport(), Qt::LeftButton, {}, CharCentre(f.field, 2));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_LE(f.field.textCursor().position(), 3);
}

TEST_F(FieldsTest, SelectAllSelectsEverythingAndLeavesTheCommandUnhandled) {
    LinkedField f;
    EXPECT_FALSE(f.field._EditSelectAll_Action());
    EXPECT_EQ(f.field.textCursor().selectionStart(), 0);
    EXPECT_EQ(f.field.textCursor().selectedText().size(), f.field.toPlainText().size());
}

struct ContextMenu {
    QMenu menu;
    explicit ContextMenu(CutCopyPasteField& field) { field.Event_ConstructContextualMenu(&menu, 0, 0); }
    QStringList Texts() const {
        QStringList t;
        for (QAction* a : menu.actions()) t << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return t;
    }
    QStringList Enabled() const {
        QStringList t;
        for (QAction* a : menu.actions())
            if (!a->isSeparator() && a->isEnabled()) t << a->text();
        return t;
    }
    QAction* Item(const QString& text) const {
        for (QAction* a : menu.actions())
            if (a->text() == text) return a;
        return nullptr;
    }
};

TEST_F(FieldsTest, ContextMenuEnablesOnlyWhatCanAct) {
    CutCopyPasteField field;
    QGuiApplication::clipboard()->clear();

    ContextMenu empty(field);
    EXPECT_EQ(empty.Texts(), QStringList({"Cut", "Copy", "Paste", "Delete", "-", "Select All"}));
    EXPECT_EQ(empty.Enabled(), QStringList());

    QGuiApplication::clipboard()->setText(QStringLiteral("clip"));
    EXPECT_EQ(ContextMenu(field).Enabled(), QStringList({"Paste"}));

    field.setText(QStringLiteral("Jane Doe"));
    field.deselect();
    EXPECT_EQ(ContextMenu(field).Enabled(), QStringList({"Paste", "Select All"}));

    field.setSelection(0, 4);
    EXPECT_EQ(ContextMenu(field).Enabled(), QStringList({"Cut", "Copy", "Paste", "Delete", "Select All"}));

    field.setReadOnly(true);
    EXPECT_EQ(ContextMenu(field).Enabled(), QStringList({"Copy", "Select All"}));
}

TEST_F(FieldsTest, CutCopiesAndRemovesDeleteRemovesWithoutTouchingTheClipboard) {
    CutCopyPasteField field;
    field.setText(QStringLiteral("Jane Doe"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    field.setSelection(0, 5);
    ContextMenu m1(field);
    field.Event_ContextualMenuAction(m1.Item(QStringLiteral("Delete")));
    EXPECT_EQ(field.text(), QStringLiteral("Doe"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    field.setSelection(1, 2);
    ContextMenu m2(field);
    field.Event_ContextualMenuAction(m2.Item(QStringLiteral("Cut")));
    EXPECT_EQ(field.text(), QStringLiteral("D"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("oe"));

    // A command chosen after the selection vanished does not eat the next character.
    field.setCursorPosition(0);
    field.Event_ContextualMenuAction(m2.Item(QStringLiteral("Delete")));
    EXPECT_EQ(field.text(), QStringLiteral("D"));

    field.Event_ContextualMenuAction(m2.Item(QStringLiteral("Paste")));
    EXPECT_EQ(field.text(), QStringLiteral("oeD"));
    field.Event_ContextualMenuAction(m2.Item(QStringLiteral("Select All")));
    EXPECT_EQ(field.selectedText(), QStringLiteral("oeD"));
    field.Event_ContextualMenuAction(m2.Item(QStringLiteral("Copy")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("oeD"));
}

TEST_F(FieldsTest, AContextClickShowsTheMenuAndRunsTheChosenCommand) {
    CutCopyPasteField field;
    field.setText(QStringLiteral("Jane Doe"));
    field.show();
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        for (QAction* a : menu->actions()) shown << a->text();
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("Select All")) menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), field.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&field, &event);
    EXPECT_EQ(shown, QStringList({"Cut", "Copy", "Paste", "Delete", "", "Select All"}));
    EXPECT_EQ(field.selectedText(), QStringLiteral("Jane Doe"));
}

} // namespace
