#include "CutCopyPasteField.h"

#include "Guard.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

namespace {
bool ClipboardHasText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

bool Is(const QAction* item, const char* text) {
    return item->text().compare(QLatin1String(text), Qt::CaseInsensitive) == 0;
}
} // namespace

CutCopyPasteField::CutCopyPasteField(QWidget* parent) : QLineEdit(parent) {}

bool CutCopyPasteField::Event_ConstructContextualMenu(QMenu* base, int, int) {
    const bool selection = hasSelectedText();
    // A read-only field offers only the commands that leave its text alone.
    const bool editable = !isReadOnly();

    QAction* cut = new QAction(QStringLiteral("Cut"), base);
    QAction* copy = new QAction(QStringLiteral("Copy"), base);
    QAction* paste = new QAction(QStringLiteral("Paste"), base);
    QAction* del = new QAction(QStringLiteral("Delete"), base);
    QAction* selectAll = new QAction(QStringLiteral("Select All"), base);
    cut->setEnabled(selection && editable);
    copy->setEnabled(selection);
    paste->setEnabled(ClipboardHasText() && editable);
    del->setEnabled(selection && editable);
    selectAll->setEnabled(!text().isEmpty());

    base->addAction(cut);
    base->addAction(copy);
    base->addAction(paste);
    base->addAction(del);
    base->addSeparator();
    base->addAction(selectAll);
    return false;
}

bool CutCopyPasteField::Event_ContextualMenuAction(QAction* hitItem) {
    if (!hitItem) return false;
    if (Is(hitItem, "Cut")) {
        if (hasSelectedText()) {
            copy();
            del();
        }
    } else if (Is(hitItem, "Copy")) {
        copy();
    } else if (Is(hitItem, "Paste")) {
        paste();
    } else if (Is(hitItem, "Delete")) {
        // Without a selection del() would take the character after the caret.
        if (hasSelectedText()) del();
    } else if (Is(hitItem, "Select All")) {
        selectAll();
    }
    return false;
}

void CutCopyPasteField::contextMenuEvent(QContextMenuEvent* event) {
    Guard([&] {
        QMenu menu(this);
        Event_ConstructContextualMenu(&menu, event->pos().x(), event->pos().y());
        if (QAction* hit = menu.exec(event->globalPos())) Event_ContextualMenuAction(hit);
    });
    event->accept();
}
