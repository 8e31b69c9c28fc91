#pragma once

#include <QIcon>
#include <QWidget>

class App;

// The photo album window.
class fmPhoto : public QWidget {
    Q_OBJECT
public:
    explicit fmPhoto(App &app, QWidget *parent = nullptr);

private:
    App &m_app;
};
