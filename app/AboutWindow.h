#pragma once

#include <QWidget>

class EditfieldWithLinks;
class QLabel;
class QPainter;

// The about box: the application icon, name and version, and the credits with a link to the
// web site. It has no title and exists at most once.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    // The open about box; when none is open a new one is made and shown.
    static AboutWindow* Instance();
    ~AboutWindow() override;

    // Sets the name and version again, then shows the box and brings it to the front.
    void Show();

    // Replaces the credits with `text`; when `parse` is set, the tags <b>, </b>, <i>, </i>,
    // <font size="n"> and </font> are taken out and style the text from where they stood.
    void SetCreditsFieldText(const QString& text, bool parse);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void EditAppCredits_Open();
    void EditAppCredits_LinkClicked(const QString& target);

private:
    AboutWindow();
    void Layout();
    void CreateControls();
    void AppIconCanvas_Paint(QPainter& g, const QSize& size);
    void AddMenuHandlers();
    bool _FileClose_Action();
    void SetupWindow();

    QWidget* AppIconCanvas = nullptr;
    QLabel* StatAppName = nullptr;
    QLabel* StatAppVersion = nullptr;
    EditfieldWithLinks* EditAppCredits = nullptr;
};
