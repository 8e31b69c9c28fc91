#include "ui/widgets/richtextbox.h"

#include "ui/widgets/ui.h"

#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/rtf/rtfpicture.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QWheelEvent>

namespace {

// What other programs call RTF on the clipboard.
const char *const kRtfTypes[] = {"text/rtf", "application/rtf", "text/richtext",
                                 "application/x-qt-windows-mime;value=\"Rich Text Format\""};

// A picture an HTML paste refers to: a data: URL or whatever the document can load.
QImage htmlImage(QTextDocument *doc, const QString &name) {
    const QUrl url(name);
    if (url.scheme().compare(u"data"_qs, Qt::CaseInsensitive) == 0) {
        const QString dataUrl = url.path();
        const qsizetype comma = dataUrl.indexOf(QLatin1Char(','));
        if (comma >= 0 && dataUrl.left(comma).endsWith(u";base64"_qs, Qt::CaseInsensitive)) {
            const QByteArray bytes = QByteArray::fromBase64(dataUrl.mid(comma + 1).toLatin1());
            return QImage::fromData(bytes);
        }
    }
    if (url.isLocalFile()) {
        const QImage image(url.toLocalFile());
        if (!image.isNull()) return image;
    }
    const QVariant resource = doc->resource(QTextDocument::ImageResource, url);
    if (resource.userType() == QMetaType::QImage) return resource.value<QImage>();
    if (resource.userType() == QMetaType::QPixmap) return resource.value<QPixmap>().toImage();
    if (resource.userType() == QMetaType::QByteArray) return QImage::fromData(resource.toByteArray());
    return {};
}

} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // Text without a font of its own shows as the diary writes it: 宋体, 9 points.
    QFont f = font();
    f.setFamilies({u"宋体"_qs, u"SimSun"_qs, u"WenQuanYi Micro Hei"_qs});
    f.setPointSizeF(9);
    setFont(f);
}

QString RichTextBox::textRTF() const { return QString::fromLatin1(rtf::write(document())); }

void RichTextBox::setTextRTF(const QString &rtfText) {
    // RTF written by the program is pure ASCII; any other character in it stands for the
    // code-page-936 bytes it was read from.
    const QByteArray data = cp936::encode(rtfText);
    if (!rtf::looksLikeRtf(data) || !rtf::load(data, document())) {
        setText(rtfText);
        return;
    }
    moveCursor(QTextCursor::Start);
}

QString RichTextBox::text() const {
    QString t = rtf::plainText(document());
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

namespace {

QString editorLines(const QString &plain) {
    QString t = plain;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace

void RichTextBox::setText(const QString &plain) {
    document()->clear(); // drops the pictures of what was shown
    setPlainText(editorLines(plain));
}

void RichTextBox::appendText(const QString &plain) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(editorLines(plain));
}

bool RichTextBox::loadFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize) return false;
    const QByteArray data = f.readAll();
    if (!rtf::load(data, document())) return false;
    moveCursor(QTextCursor::Start);
    return true;
}

void RichTextBox::setBackColor(const QColor &color) {
    m_backColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    // A fixed background takes a text colour readable on it, whatever the desktop's palette.
    p.setColor(QPalette::Text, ui::readableText(color, QApplication::palette().color(QPalette::Text)));
    setPalette(p);
}

void RichTextBox::setAppearance(int value) {
    m_appearance = value;
    setFrameShadow(value == 1 ? QFrame::Sunken : QFrame::Plain);
}

void RichTextBox::setZoom(int percent) {
    if (percent <= 0 || percent == m_zoom) return;
    m_zoom = percent;
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    if (percent == 100) {
        layout->setPaintDevice(nullptr);
    } else {
        // A resolution is kept in whole dots per metre; the screen's dots per inch times the zoom.
        const int dotsPerMetre = qRound(logicalDpiY() * percent / 100.0 / 0.0254);
        m_zoomDevice = QImage(1, 1, QImage::Format_RGB32);
        m_zoomDevice.setDotsPerMeterX(dotsPerMetre);
        m_zoomDevice.setDotsPerMeterY(dotsPerMetre);
        layout->setPaintDevice(&m_zoomDevice);
    }
    document()->markContentsDirty(0, document()->characterCount());
    ensureCursorVisible();
}

void RichTextBox::wheelEvent(QWheelEvent *event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTextEdit::wheelEvent(event);
        return;
    }
    // Never the font zoom of the text edit: the view's zoom belongs to the window. Fine wheels
    // send parts of a notch; they count once they make a whole one.
    m_wheelAngle += event->angleDelta().y();
    const int steps = m_wheelAngle / QWheelEvent::DefaultDeltasPerStep;
    m_wheelAngle -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0) emit zoomWheel(steps);
    event->accept();
}

int RichTextBox::roomLeft() const {
    if (m_maxLength <= 0) return INT_MAX;
    const QTextCursor c = textCursor();
    const int used = document()->characterCount() - 1 - (c.selectionEnd() - c.selectionStart());
    return qMax(0, m_maxLength - used);
}

void RichTextBox::keyPressEvent(QKeyEvent *event) {
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (m_maxLength > 0 && printable && !(event->modifiers() & Qt::ControlModifier) &&
        roomLeft() < typed.size()) {
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_singleLine) {
        event->ignore();
        return;
    }
    if (m_maxLength > 0 && enter && roomLeft() < 1) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void RichTextBox::inputMethodEvent(QInputMethodEvent *event) {
    // Text committed by an input method is typed text too.
    if (m_maxLength > 0 && event->commitString().size() > roomLeft()) {
        QInputMethodEvent cut(event->preeditString(), event->attributes());
        cut.setCommitString(event->commitString().left(roomLeft()), event->replacementStart(),
                            event->replacementLength());
        QTextEdit::inputMethodEvent(&cut);
        event->accept();
        return;
    }
    QTextEdit::inputMethodEvent(event);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const {
    for (const char *type : kRtfTypes)
        if (source->hasFormat(QLatin1String(type))) return true;
    return source->hasImage() || QTextEdit::canInsertFromMimeData(source);
}

void RichTextBox::insertFromMimeData(const QMimeData *source) {
    if (!source || isReadOnly()) return;
    QTextCursor cursor = textCursor();
    if (m_maxLength > 0 || m_singleLine) {
        // A limited or one-line box takes plain text only, cut to what still fits.
        QString t = source->text();
        if (m_singleLine) {
            const qsizetype lineEnd = t.indexOf(QRegularExpression(u"[\r\n]"_qs));
            if (lineEnd >= 0) t.truncate(lineEnd);
        }
        t = t.left(roomLeft());
        if (!t.isEmpty()) cursor.insertText(t);
        setTextCursor(cursor);
        return;
    }
    cursor.beginEditBlock();
    bool done = false;
    for (const char *type : kRtfTypes) {
        if (done || !source->hasFormat(QLatin1String(type))) continue;
        done = rtf::insert(source->data(QLatin1String(type)), cursor);
    }
    if (!done && source->hasImage()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            cursor.removeSelectedText();
            rtf::insertImage(cursor, image);
            done = true;
        }
    }
    if (!done && source->hasHtml()) {
        cursor.removeSelectedText();
        const int from = cursor.position();
        cursor.insertFragment(QTextDocumentFragment::fromHtml(source->html(), document()));
        const int to = cursor.position();
        keepPictures(from, to);
        done = true;
    }
    if (!done && source->hasText()) cursor.insertText(source->text());
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

// Pictures of an HTML paste are loaded now and kept as PNG in the entry; what cannot be loaded
// is left out rather than saved as a reference to something that may be gone.
void RichTextBox::keepPictures(int from, int to) {
    QList<QPair<int, QTextImageFormat>> found;
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() >= to || fragment.position() + fragment.length() <= from) continue;
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isImageFormat() || format.hasProperty(rtf::PictureData)) continue;
            const QString s = fragment.text();
            for (qsizetype i = 0; i < s.size(); ++i)
                if (s.at(i) == QChar::ObjectReplacementCharacter) found.append({fragment.position() + int(i), format.toImageFormat()});
        }
    }
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        QTextCursor c(document());
        c.setPosition(it->first);
        c.setPosition(it->first + 1, QTextCursor::KeepAnchor);
        const QImage image = htmlImage(document(), it->second.name());
        if (image.isNull()) {
            c.removeSelectedText();
            continue;
        }
        rtf::Picture picture = rtf::pictureFromImage(image);
        const QUrl name = rtf::newPictureName();
        picture.format.setName(name.toString());
        if (it->second.hasProperty(QTextFormat::ImageWidth)) picture.format.setWidth(it->second.width());
        if (it->second.hasProperty(QTextFormat::ImageHeight)) picture.format.setHeight(it->second.height());
        document()->addResource(QTextDocument::ImageResource, name, picture.image);
        c.setCharFormat(picture.format);
    }
}

QMimeData *RichTextBox::createMimeDataFromSelection() const {
    const QTextCursor selection = textCursor();
    if (!selection.hasSelection()) return QTextEdit::createMimeDataFromSelection();
    // Offered as RTF besides plain text and HTML, so that a paste keeps every format and
    // picture exactly.
    const QTextDocumentFragment fragment(selection);
    QTextDocument copy;
    QTextCursor(&copy).insertFragment(fragment);
    auto *data = new QMimeData;
    data->setText(rtf::plainText(&copy));
    data->setHtml(fragment.toHtml());
    data->setData(u"text/rtf"_qs, rtf::write(&copy));
    return data;
}
