#include "ui/diary/draftkeeper.h"

#include <QTimer>

DraftKeeper::DraftKeeper(const QString &programDir, std::function<recovery::Draft()> draft,
                         std::function<bool()> locked, QObject *parent)
    : QObject(parent), m_programDir(programDir), m_draft(std::move(draft)),
      m_locked(std::move(locked)) {
    setObjectName(u"draftKeeper"_qs);
    m_timer = new QTimer(this);
    m_timer->setObjectName(u"tmDraft"_qs);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kDelayMs);
    connect(m_timer, &QTimer::timeout, this, &DraftKeeper::write);
}

void DraftKeeper::editStarted() {
    m_changed = false;
    m_timer->stop();
}

void DraftKeeper::edited() {
    m_changed = true;
    if (!m_timer->isActive()) m_timer->start();
}

void DraftKeeper::markChanged() {
    edited();
}

void DraftKeeper::editEnded() {
    m_timer->stop();
    m_changed = false;
    recovery::discard(m_programDir);
}

void DraftKeeper::lockChanged() {
    if (m_locked())
        recovery::discard(m_programDir);
    else if (m_changed && !m_timer->isActive())
        m_timer->start();
}

void DraftKeeper::write() {
    if (!m_changed) return;
    // An entry to be locked by a password never reaches the disk in clear.
    if (m_locked()) {
        recovery::discard(m_programDir);
        return;
    }
    recovery::save(m_programDir, m_draft());
}

std::optional<recovery::Draft> DraftKeeper::leftOver() const {
    std::optional<recovery::Draft> d = recovery::load(m_programDir);
    if (d && d->kind == recovery::Kind::Entry &&
        (d->date < QDate(100, 1, 1) || d->date > QDate(9999, 12, 31)))
        return std::nullopt;
    return d;
}
