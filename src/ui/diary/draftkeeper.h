#pragma once

#include "store/diary/recovery.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QTimer;

// The recovery draft of the main window's open edit (store/diary/recovery.h): written a few
// seconds after a change, removed when the edit ends, offered again at the next start. The window
// says when an edit starts, changes and ends; the keeper asks it for the draft only when one is
// due. An edit that is to be locked by a password never reaches a draft: while locked() says so,
// any draft is removed instead.
class DraftKeeper : public QObject {
    Q_OBJECT
public:
    // A change reaches the draft within this time.
    static constexpr int kDelayMs = 3000;

    DraftKeeper(const QString &programDir, std::function<recovery::Draft()> draft,
                std::function<bool()> locked, QObject *parent = nullptr);

    // The edit has been set up: what it shows now is its starting point, not a change.
    void editStarted();
    // The edit's text or title changed.
    void edited();
    // The edit was saved or cancelled: its draft goes.
    void editEnded();
    // The edit's lock (the password box) was ticked or unticked: ticked, the draft goes at once;
    // unticked, the next one comes soon.
    void lockChanged();
    // Whether the open edit holds changes since it started.
    bool hasChanges() const { return m_changed; }
    // Words put back into a started edit (a reopened draft) are changes not yet saved.
    void markChanged();

    // The draft the last run left, if any, that can be reopened (an entry's date within the
    // diary's range).
    std::optional<recovery::Draft> leftOver() const;

private:
    void write();

    QString m_programDir;
    std::function<recovery::Draft()> m_draft;
    std::function<bool()> m_locked;
    QTimer *m_timer = nullptr;
    bool m_changed = false;
};
