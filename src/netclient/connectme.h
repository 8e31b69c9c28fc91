#pragma once

#include <QIcon>
#include <QWidget>

class App;

// The connection and message window.
class ConnectMe : public QWidget {
    Q_OBJECT
public:
    explicit ConnectMe(App &app, QWidget *parent = nullptr);

private:
    App &m_app;
};
