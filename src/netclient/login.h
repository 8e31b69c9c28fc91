#pragma once

#include <QIcon>
#include <QWidget>

class App;

// The login window.
class Login : public QWidget {
    Q_OBJECT
public:
    explicit Login(App &app, QWidget *parent = nullptr);

private:
    App &m_app;
};
