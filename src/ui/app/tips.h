#pragma once

#include <QIcon>
#include <QObject>

class QSystemTrayIcon;

// The program's icon in the notification area. No tooltip, no menu; its left and right presses
// are reported as the classic mouse messages 0x201 and 0x204.
class Tips : public QObject {
    Q_OBJECT
public:
    static constexpr int LeftButtonDown = 0x201;
    static constexpr int RightButtonDown = 0x204;

    explicit Tips(QObject *parent = nullptr);
    ~Tips() override;

    // Adds the icon; fails while it is present or when there is no notification area.
    bool AddTrayIcon(const QIcon &icon);
    // Removes the icon; false when it was not there.
    bool RemoveTrayIcon();
    bool present() const;

signals:
    void mouseEvent(int event);

private:
    QSystemTrayIcon *m_icon = nullptr;
};
