#include "platform/richtextbox.h"

#include "platform/codepage.h"
#include "platform/rtf.h"

#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocument>

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
}

QString RichTextBox::textRTF() const { return QString::fromLatin1(rtf::write(document())); }

void RichTextBox::setTextRTF(const QString &rtfText) {
    // RTF written by the program is pure ASCII; any other character in it stands for the
    // code-page-936 bytes it was read from.
    const QByteArray data = cp936::encode(rtfText);
    if (!rtf::looksLikeRtf(data) || !rtf::read(data, document())) setText(rtfText);
}

QString RichTextBox::text() const {
    QString t = toPlainText();
    t.replace(QChar::LineSeparator, QLatin1Char('\n'));
    t.replace(QChar::Nbsp, QLatin1Char(' '));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void RichTextBox::setText(const QString &plain) {
    QString t = plain;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(t);
}

bool RichTextBox::loadFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = f.readAll();
    if (!rtf::looksLikeRtf(data)) return false;
    QTextDocument scratch;
    if (!rtf::read(data, &scratch)) return false;
    return rtf::read(data, document());
}

void RichTextBox::setBackColor(const QColor &color) {
    m_backColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void RichTextBox::setAppearance(int value) {
    m_appearance = value;
    setFrameShadow(value == 1 ? QFrame::Sunken : QFrame::Plain);
}

int RichTextBox::roomLeft() const {
    if (m_maxLength <= 0) return INT_MAX;
    const int used = int(toPlainText().size() - textCursor().selectedText().size());
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
    if (m_maxLength > 0 && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        roomLeft() < 1) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const {
    return source->hasImage() || QTextEdit::canInsertFromMimeData(source);
}

void RichTextBox::insertFromMimeData(const QMimeData *source) {
    if (m_maxLength > 0) {
        // A limited box takes plain text only, cut to what still fits.
        const QString t = source->text().left(roomLeft());
        if (!t.isEmpty()) textCursor().insertText(t);
        return;
    }
    QTextEdit::insertFromMimeData(source);
}
