#pragma once

#include <QImage>
#include <QWidget>

// A picture box: shows its image, which holds the picture and everything drawn on it, at the
// image's own size (in logical pixels: an image drawn for a screen of ratio 2 has twice the pixels), and reports the mouse in twips relative to itself with the buttons
// numbered 1 left, 2 right, 4 middle.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    const QImage &image() const { return m_image; }
    // Takes the image and its size.
    void setImage(const QImage &image);
    // Draws on the image; the box shows the result.
    template <typename Draw> void draw(Draw &&paint) {
        paint(m_image);
        update();
    }

signals:
    void mouseDown(int button, double x, double y);
    void mouseMove(int buttons, double x, double y);
    void mouseUp(int button, double x, double y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_image;
};
