#include "ui/album/albumtext.h"

#include <QDir>

namespace albumtext {

QString modeText(int mode) {
    if (mode == 0)
        return QStringLiteral("贴心模式：左键在图片上贴出一个心形图样，右键切换到移图模式");
    return QStringLiteral("移图模式：按住左键可移动图片，右键切换到贴心模式");
}

QString loadFailureText(const QString &name) {
    return u"  无法加载文件 '"_qs + name + u'\'';
}

QStringList helpLines(const QString &folder, int n, const QString &saveFolder,
                      const QString &configFile) {
    const QString indent(20, QLatin1Char(' '));
    return {
        indent + u"= 说明 ="_qs,
        QString(),
        indent + u"当前文件夹 \""_qs + folder + u"\"，共有 "_qs + QString::number(n) +
            u" 张图片。"_qs,
        QString(),
        indent + u"浏览图片的时候，点击鼠标右键来切换模式。"_qs,
        indent + u"贴心模式：您可以在图片的任意位置点击鼠标左键在所选位置贴出一个心形图样。"_qs,
        indent + u"移图模式：您可以在图片上按住鼠标左键来移动图片。"_qs,
        QString(),
        indent + u"图片所在文件夹："_qs + folder,
        indent + u"图片保存到："_qs + saveFolder,
        QString(),
        indent + u"您可以在 "_qs + configFile + u" 中修改这两个路径。"_qs,
        indent + u"如果修改错了，您可以删除这个文件，系统将会重新建立这个文件。"_qs,
        QString(),
        indent + u"呵呵，就到这里吧，还有什么不明白的就和我联系吧"_qs,
        indent + u"我的 QQ：123456789"_qs,
        indent + u"我的邮箱：xiaozhou@qingchuang.example。"_qs,
        QString(),
        QString(),
        indent + u"最后呢，再说一句：“谢谢使用啊” ^-^"_qs,
    };
}

QString saveStatusText(const QString &file, bool saved) {
    const QString shown = QDir::toNativeSeparators(file);
    return saved ? u" 保存文件到 "_qs + shown : u" 无法保存文件到 "_qs + shown;
}

} // namespace albumtext
