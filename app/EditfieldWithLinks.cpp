#include "EditfieldWithLinks.h"

#include "Guard.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>

EditfieldWithLinks::EditfieldWithLinks(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    // Links are our own ranges, not HTML anchors: Qt must not handle them as well.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::ArrowCursor);
}

void EditfieldWithLinks::Append(const QString& text, const QColor& color, bool bold) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(color);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    cursor.insertText(text, format);

    // After every append the caret sits at the start and the field shows its first line.
    QTextCursor top(document());
    setTextCursor(top);
    verticalScrollBar()->setValue(0);
}

void EditfieldWithLinks::AddText(const QString& text, bool bold) {
    Append(text, QColor(0x00, 0x00, 0x00), bold);
}

void EditfieldWithLinks::AddLink(const QString& text, const QString& target) {
    // Counted before the append; a document's character count includes one closing paragraph mark.
    const int n = document()->characterCount() - 1;
    Append(text, QColor(0x00, 0x00, 0xFF), false);
    LinkStart.append(n);
    LinkEnd.append(n + int(text.size()));
    LinkTarget.append(target.isEmpty() ? text : target);
}

void EditfieldWithLinks::ClearLinks() {
    LinkStart.clear();
    LinkEnd.clear();
    LinkTarget.clear();
}

int EditfieldWithLinks::CharPosAtXY(int x, int y) const {
    const QPointF inDocument(x + horizontalScrollBar()->value(), y + verticalScrollBar()->value());
    return document()->documentLayout()->hitTest(inDocument, Qt::ExactHit);
}

int EditfieldWithLinks::LinkAt(int x, int y) const {
    if (LinkStart.isEmpty()) return -1;
    const int pos = CharPosAtXY(x, y);
    if (pos < 0) return -1;
    for (int i = 0; i < LinkStart.size(); ++i)
        if (LinkStart[i] <= pos && pos < LinkEnd[i]) return i;
    return -1;
}

void EditfieldWithLinks::Event_Open() {
    emit Open();
}

void EditfieldWithLinks::Event_Close() {
    viewport()->setCursor(Qt::ArrowCursor);
}

void EditfieldWithLinks::Event_MouseExit() {
    viewport()->setCursor(Qt::ArrowCursor);
}

bool EditfieldWithLinks::Event_MouseDown(int x, int y) {
    const int i = LinkAt(x, y);
    if (i >= 0) emit LinkClicked(LinkTarget[i]);
    return false;
}

void EditfieldWithLinks::Event_MouseMove(int x, int y) {
    viewport()->setCursor(LinkAt(x, y) >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

bool EditfieldWithLinks::_EditSelectAll_Action() {
    selectAll();
    return false;
}

void EditfieldWithLinks::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const bool handled = GuardValue(false, [&] { return Event_MouseDown(p.x(), p.y()); });
    if (!handled) QTextEdit::mousePressEvent(event);
}

void EditfieldWithLinks::mouseMoveEvent(QMouseEvent* event) {
    QTextEdit::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    Guard([&] { Event_MouseMove(p.x(), p.y()); });
}

void EditfieldWithLinks::leaveEvent(QEvent* event) {
    Event_MouseExit();
    QTextEdit::leaveEvent(event);
}

void EditfieldWithLinks::hideEvent(QHideEvent* event) {
    Event_Close();
    QTextEdit::hideEvent(event);
}
