#pragma once

#include <QList>
#include <QString>
#include <QTextEdit>

// A read-only styled text field that its owner fills by appending plain or bold text and links.
// Links show in blue; the pointer turns into a pointing hand over them and a click on one raises
// LinkClicked with its target, while the click still places the caret as usual.
class EditfieldWithLinks : public QTextEdit {
    Q_OBJECT
public:
    explicit EditfieldWithLinks(QWidget* parent = nullptr);

    // Appends text in black, bold or plain.
    void AddText(const QString& text, bool bold);
    // Appends text in blue as a link to `target`; an empty target makes the text its own target.
    void AddLink(const QString& text, const QString& target = QString());

    // Offset of the character under (x, y) in viewport coordinates; -1 when no character is there.
    int CharPosAtXY(int x, int y) const;
    // Index of the link under (x, y) in viewport coordinates; -1 when there is none.
    int LinkAt(int x, int y) const;
    int LinkCount() const { return int(LinkStart.size()); }
    int LinkStartOf(int i) const { return LinkStart.value(i, -1); }
    int LinkEndOf(int i) const { return LinkEnd.value(i, -1); }
    QString LinkTargetOf(int i) const { return LinkTarget.value(i); }
    // Forgets every link, for an owner that replaces the whole text.
    void ClearLinks();

    // Raises Open; the window that creates the field calls it once its handlers are connected.
    void Event_Open();
    void Event_Close();
    void Event_MouseExit();
    // Raises LinkClicked when (x, y) is over a link; false: the press is left to the field.
    bool Event_MouseDown(int x, int y);
    void Event_MouseMove(int x, int y);
    // Selects the whole text; false, so the command goes on to other handlers.
    bool _EditSelectAll_Action();

signals:
    void LinkClicked(const QString& target);
    void Open();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Append(const QString& text, const QColor& color, bool bold);

    QList<int> LinkStart;
    QList<int> LinkEnd;
    QList<QString> LinkTarget;
};
