#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <functional>

struct ProgramFolder;
struct Settings;
class PictureBox;
class QLabel;
class QPushButton;
class QTimer;
class QAction;

// The photo album: the pictures of one folder one at a time in a fixed view, hearts stamped on
// them, the picture dragged about, and the result saved as a bitmap with the logo. Positions
// and sizes of the picture box are kept in twips, as the rest of the program counts them. It is
// handed the program folder and the settings it reads (the pictures' folders, the logo); where the
// user goes next it says by its signals.
class fmPhoto : public QWidget {
    Q_OBJECT
public:
    fmPhoto(const ProgramFolder &folder, Settings &settings, QWidget *parent = nullptr);
    ~fmPhoto() override;

    // Loads Pictures(index) into the box and centres it, or shows why it cannot.
    void ShowPicture(int &index);
    // Draws the help page into the box.
    void ShowHelpPage();

    const QStringList &pictures() const { return Pictures; }
    int currentIndex() const { return CurrentIndex; }
    int mode() const { return Mode; }
    float spareWidth() const { return SpareWidth; }
    qint32 spareHeight() const { return SpareHeight; }
    // The box's position in the view, twips.
    float picLeft() const { return m_left; }
    float picTop() const { return m_top; }
    // The folder the pictures are read from, as a path of this system.
    QString pictureFolder() const { return m_folder; }

    // Where dragging reads the screen cursor (pixels); tests set their own.
    void setCursorSource(std::function<QPoint()> source) { m_cursorSource = std::move(source); }

public slots:
    void onLoad();
    void onFront();
    void onHidden();
    void onBack();
    void onSave();
    void onReload();
    void onClear();
    void onAbout();
    void onPicLoadMouseDown(int button, double x, double y);
    void onPicLoadMouseMove(int buttons, double x, double y);
    void onPicLoadMouseUp(int button, double x, double y);
    void onMoveTimer();

signals:
    // "隐藏" or the close box: the album is done and the user goes nowhere in particular.
    void hideRequested();
    // "返回": the album is done and the user goes back to the diary.
    void backRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load();
    void stepTo(int how);
    // The box at (left, top) twips, its size that of its image.
    void placeBox(float left, float top);
    // A blank box of the view's size at the view's corner.
    void blankBox();
    void updateSpare();
    void viewResized();
    double viewWidth() const;  // twips
    double viewHeight() const; // twips
    // Device pixels to a logical one where the album is shown.
    qreal ratio() const;
    double boxWidth() const;  // twips
    double boxHeight() const; // twips
    QPoint screenCursor() const;

    const ProgramFolder &m_programFolder;
    Settings &m_settings;

    QWidget *picMeimei = nullptr;
    PictureBox *PicLoad = nullptr;
    QLabel *labShow = nullptr;
    QLabel *labUnder = nullptr;
    QPushButton *btFront = nullptr;
    QPushButton *btLoad = nullptr;
    QPushButton *btHidden = nullptr;
    QPushButton *btBack = nullptr;
    QTimer *tmMove = nullptr;
    QAction *mSave = nullptr;
    QAction *mReload = nullptr;
    QAction *mClear = nullptr;
    QAction *mAbout = nullptr;

    QStringList Pictures; // element 0 the placeholder, then the files of the folder
    qint32 CurrentIndex = 0;
    qint16 Mode = 1; // 0 stamps hearts, 1 moves the picture
    float SpareWidth = 0;
    qint32 SpareHeight = 0;
    QPoint CursorNow;
    QPoint CursorLast;

    QString m_folder;
    float m_left = 0;
    float m_top = 0;
    QColor m_backColor = Qt::white;
    QColor m_foreColor = Qt::black;
    QFont m_boxFont;
    std::function<QPoint()> m_cursorSource;
    QSize m_viewSize;          // pixels, as last laid out
    bool m_helpShown = false;  // the box shows the help page and nothing drawn on it since

};
