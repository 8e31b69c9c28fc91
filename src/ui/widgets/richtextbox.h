#pragma once

#include <QColor>
#include <QImage>
#include <QTextEdit>

// The rich-text box of the windows: a QTextEdit that speaks RTF in the shape of the classic
// Windows rich-text control and plain text with CR LF line breaks.
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // The whole document as RTF; its length is what the diary's size limits measure.
    QString textRTF() const;
    // Replaces the document. Text that is not RTF is shown as plain text, as the classic control
    // does; leading white space before "{\rtf" does not count.
    void setTextRTF(const QString &rtfText);

    // Plain text, paragraphs separated by CR LF; pictures are left out.
    QString text() const;
    void setText(const QString &plain);
    // Adds plain text at the end, as setText(text() + plain) would, in time of plain's length.
    void appendText(const QString &plain);

    // Loads an RTF file; false (document unchanged) when it cannot be read or is not RTF.
    bool loadFile(const QString &path);

    // Typed and pasted input stops at this many characters; 0 means no limit. Text set by the
    // program is not cut.
    void setMaxLength(int chars) { m_maxLength = chars; }
    int maxLength() const { return m_maxLength; }

    // A one-line box: Enter types nothing (the key goes on to the window) and pasted text is
    // plain, cut at its first line break.
    void setSingleLine(bool on) { m_singleLine = on; }
    bool singleLine() const { return m_singleLine; }

    void setBackColor(const QColor &color);
    QColor backColor() const { return m_backColor; }

    // 1 raised (three-dimensional border), 0 flat.
    void setAppearance(int value);
    int appearance() const { return m_appearance; }

    // The view's zoom in percent, 100 showing the text at its own size. Only what is shown
    // changes: the document, its fonts and pictures, and so the RTF, stay as they are.
    void setZoom(int percent);
    int zoom() const { return m_zoom; }

    // Pastes the clipboard at the caret, as Ctrl+V does: RTF, pictures, HTML or plain text.
    void pasteClipboard() { paste(); }

    // Files larger than this are not loaded.
    static constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;

signals:
    // Ctrl + mouse wheel over the box: steps forward (positive) or back, one per notch.
    void zoomWheel(int steps);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    int roomLeft() const;
    void keepPictures(int from, int to);

    int m_maxLength = 0;
    bool m_singleLine = false;
    int m_appearance = 1;
    QColor m_backColor;
    int m_zoom = 100;
    int m_wheelAngle = 0; // of the notch under way
    // Laying the document out for this device, whose resolution is the screen's times the zoom,
    // draws everything larger or smaller with the document untouched.
    QImage m_zoomDevice;
};
