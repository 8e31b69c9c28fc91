#pragma once

#include <QWidget>

class App;
class RichTextBox;

// The main window of the diary.
class Index : public QWidget {
    Q_OBJECT
public:
    explicit Index(App &app, QWidget *parent = nullptr);

    // The editor pane mmw.
    RichTextBox *editor() const { return mmw; }
    void focusEditor();

private:
    App &m_app;
    RichTextBox *mmw = nullptr;
};
