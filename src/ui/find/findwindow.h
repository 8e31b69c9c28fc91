#pragma once

#include "store/find/engine.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace find {
class Search;
}

// The search window: a box for the words and the hits (date, title, a snippet with the match
// marked), newest first, shown as they are found. A double click opens the hit in the main
// window through openHit.
class FindWindow : public QWidget {
    Q_OBJECT
public:
    FindWindow(find::Engine &engine, std::function<void(const find::Hit &)> openHit, QWidget *parent = nullptr);
    ~FindWindow() override;

    // Starts a search for the words in the box now (typing starts one after a short pause).
    void startSearch();
    // Puts words into the box and searches for them at once (a click on a tag of the statistics).
    void findWords(const QString &words);
    bool searching() const;

    // The item data roles of the snippet column: where the match starts and how long it is.
    static constexpr int MatchStartRole = Qt::UserRole + 1;
    static constexpr int MatchLengthRole = Qt::UserRole + 2;

private:
    void addHit(const find::Hit &hit);
    void onFinished(int hits);
    void onDoubleClick(QTreeWidgetItem *item);

    std::function<void(const find::Hit &)> m_openHit;
    find::Search *m_search = nullptr;
    QList<find::Hit> m_hits;
    QLineEdit *tt_words = nullptr;
    QPushButton *bt_find = nullptr;
    QLabel *lb_count = nullptr;
    QTreeWidget *lv_hits = nullptr;
    QTimer *tmPause = nullptr;
};
