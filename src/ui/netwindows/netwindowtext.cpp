#include "ui/netwindows/netwindowtext.h"

namespace netwindow {

QString thanksText() {
    static const char16_t *const lines[] = {
        u"  呵呵，你好。今天心情怎么样？",
        u"  如果连接不上服务器，那说明服务器没有开。",
        u"  毕竟俺的机器不是专业的服务器。",
        u"  如果你想替俺做服务器或想要服务器端软件，",
        u"  记得和我联系，免费奉送了！",
        u"  现在不是流行免费吗？^-^",
        u"  到时候记得把地址告诉我啊！",
    };
    QString text = u"\r\n"_qs;
    for (const char16_t *line : lines) text += QString::fromUtf16(line) + u"\r\n"_qs;
    return text;
}

QString connectionInfo(const QString &remoteHost, const QString &localIP, int localPort) {
    return u"\r\n  服务器："_qs + remoteHost + u":**** \r\n  本机IP："_qs + localIP + u":"_qs +
           QString::number(localPort);
}

QString serviceReport(const QString &messageSended, const Listener &message,
                      const Listener &registration, const Listener &login) {
    const QString rule = u" +"_qs + QString(35, u'-') + u"+"_qs;
    auto line = [](const Listener &l, const QString &tag) {
        return u"    "_qs + l.ip + u" - "_qs + QString::number(l.port) + u"  ("_qs + tag + u")"_qs;
    };
    return messageSended + u"\r\n"_qs + rule + u"\r\n"_qs + line(message, u"MsgSvr"_qs) +
           u"\r\n"_qs + line(registration, u"RegSvr"_qs) + u"\r\n"_qs +
           line(login, u"LogSvr"_qs) + u"\r\n"_qs + rule;
}

QString messageNotServedText(const store::Result &loaded) {
    if (loaded.code == store::Code::TooLarge)
        return u"\r\n  * Message.txt 超过 1 MB，消息服务只发送空消息。"_qs;
    return u"\r\n  * 无法读取 Message.txt，消息服务只发送空消息：\r\n    "_qs + loaded.detail;
}

} // namespace netwindow
