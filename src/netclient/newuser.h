#pragma once

#include <QIcon>
#include <QWidget>

class App;

// The registration window.
class NewUser : public QWidget {
    Q_OBJECT
public:
    explicit NewUser(App &app, QWidget *parent = nullptr);

private:
    App &m_app;
};
