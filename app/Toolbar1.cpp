#include "Toolbar1.h"

#include "Resources.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QSizePolicy>
#include <QWidget>

namespace {

QAction* Named(QAction* item, const char* name, const QString& caption, bool enabled) {
    item->setObjectName(QString::fromUtf8(name));
    item->setText(caption);
    item->setEnabled(enabled);
    return item;
}

} // namespace

Toolbar1::Toolbar1(QWidget* parent) : QToolBar(parent) {
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // The icons are drawn large and shown at the usual toolbar size.
    setIconSize(QSize(32, 32));

    auto button = [this](const char* name, const QString& caption, bool enabled, const QImage& icon) {
        QAction* item = addAction(QIcon(QPixmap::fromImage(icon)), caption);
        // An empty tool tip on the action would fall back to the caption, so the button's
        // tooltip event is stopped instead.
        if (QWidget* button = widgetForAction(item)) button->installEventFilter(this);
        return Named(item, name, caption, enabled);
    };
    const QString untitled = QStringLiteral("Untitled");

    AddNew = button("AddNew", QStringLiteral("New"), true, Resources::NewPhotoIcon());
    Sep1 = Named(addSeparator(), "Sep1", untitled, true);
    Edit = button("Edit", QStringLiteral("Edit"), false, Resources::EditPhotoIcon());
    Sep2 = Named(addSeparator(), "Sep2", untitled, true);
    Print = button("Print", QStringLiteral("Print"), false, Resources::PrintIcon());
    Save = button("Save", QStringLiteral("Save Jpg"), false, Resources::SaveIcon());

    // Takes all the room left, pushing Delete to the right end.
    auto* space = new QWidget(this);
    space->setObjectName(QStringLiteral("FlexSpace"));
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    FlexSpace = Named(addWidget(space), "FlexSpace", untitled, true);

    Delete = button("Delete", QStringLiteral("Delete"), false, Resources::DeleteIcon());

    connect(this, &QToolBar::actionTriggered, this, &Toolbar1::Action);
}

bool Toolbar1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) return true;
    return QToolBar::eventFilter(watched, event);
}
