// The words of the photo window.
#include "ui/album/albumtext.h"

#include <QTest>

class TestAlbumText : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void help();
};

void TestAlbumText::texts() {
    QCOMPARE(albumtext::modeText(0),
             u"贴心模式：左键在图片上贴出一个心形图样，右键切换到移图模式"_qs);
    QCOMPARE(albumtext::modeText(1), u"移图模式：按住左键可移动图片，右键切换到贴心模式"_qs);
    QCOMPARE(albumtext::loadFailureText(u"a b.txt"_qs), u"  无法加载文件 'a b.txt'"_qs);
    QCOMPARE(albumtext::saveStatusText(u"/h/PicSave/sv12.BMP"_qs, true),
             u" 保存文件到 /h/PicSave/sv12.BMP"_qs);
    QCOMPARE(albumtext::saveStatusText(u"/h/PicSave/sv12.BMP"_qs, false),
             u" 无法保存文件到 /h/PicSave/sv12.BMP"_qs);
}

void TestAlbumText::help() {
    const QStringList lines =
        albumtext::helpLines(u"/h/Images/"_qs, 3, u"/h/PicSave/"_qs, u"/opt/qc/Config.ini"_qs);
    const QString indent(20, u' ');
    QCOMPARE(lines.size(), 20);
    QCOMPARE(lines[0], indent + u"= 说明 ="_qs);
    QCOMPARE(lines[2], indent + u"当前文件夹 \"/h/Images/\"，共有 3 张图片。"_qs);
    QCOMPARE(lines[4], indent + u"浏览图片的时候，点击鼠标右键来切换模式。"_qs);
    QCOMPARE(lines[5],
             indent +
                 u"贴心模式：您可以在图片的任意位置点击鼠标左键在所选位置贴出一个心形图样。"_qs);
    QCOMPARE(lines[6], indent + u"移图模式：您可以在图片上按住鼠标左键来移动图片。"_qs);
    QCOMPARE(lines[8], indent + u"图片所在文件夹：/h/Images/"_qs);
    QCOMPARE(lines[9], indent + u"图片保存到：/h/PicSave/"_qs);
    QCOMPARE(lines[11], indent + u"您可以在 /opt/qc/Config.ini 中修改这两个路径。"_qs);
    QCOMPARE(lines[12],
             indent + u"如果修改错了，您可以删除这个文件，系统将会重新建立这个文件。"_qs);
    QCOMPARE(lines[14], indent + u"呵呵，就到这里吧，还有什么不明白的就和我联系吧"_qs);
    QVERIFY(lines[15].startsWith(indent + u"我的 QQ："_qs));
    QVERIFY(lines[16].startsWith(indent + u"我的邮箱："_qs) && lines[16].endsWith(u"。"_qs));
    QCOMPARE(lines[19], indent + u"最后呢，再说一句：“谢谢使用啊” ^-^"_qs);
    for (int empty : {1, 3, 7, 10, 13, 17, 18})
        QVERIFY2(lines[empty].isEmpty(), qPrintable(QString::number(empty + 1)));
    QCOMPARE(albumtext::helpLines(u"x"_qs, 0, u"y"_qs, u"z"_qs)[2],
             indent + u"当前文件夹 \"x\"，共有 0 张图片。"_qs);
}

QTEST_GUILESS_MAIN(TestAlbumText)
#include "tst_albumtext.moc"
