#include "netclient/connectme.h"

#include "platform/richtextbox.h"
#include "startup/app.h"

#include <QPushButton>

ConnectMe::ConnectMe(App &app, QWidget *parent) : QWidget(parent), m_app(app) {
    setWindowTitle(u" "_qs);
    Content = new RichTextBox(this);
    Content->setObjectName(u"Content"_qs);
    Content->setReadOnly(true);
    HostIP = new RichTextBox(this);
    HostIP->setObjectName(u"HostIP"_qs);
    HostIP->setReadOnly(true);
    bt_connect = new QPushButton(u"刷新"_qs, this);
    bt_connect->setObjectName(u"bt_connect"_qs);
    bt_cancel = new QPushButton(u"取消"_qs, this);
    bt_cancel->setObjectName(u"bt_cancel"_qs);
}

void ConnectMe::enterServerMode() {
    bt_connect->setEnabled(false);
    bt_cancel->setEnabled(false);
    setWindowTitle(u" 服务器模式"_qs);
}

void ConnectMe::showReceived(const QString &text) {
    Content->setText(text);
    bt_connect->setEnabled(false);
    bt_cancel->setEnabled(true);
    HostIP->setText(u" 开始接收数据..."_qs);
}

void ConnectMe::appendToContent(const QString &text) {
    Content->setText(Content->text() + text);
}
