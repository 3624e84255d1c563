#ifndef TAVRIN_UPDATE_SYNCCOUNTDOWN_H
#define TAVRIN_UPDATE_SYNCCOUNTDOWN_H

#include <QLocale>
#include <QString>

#include <optional>

// Counts the window's one-second ticks towards the next sync and keeps the
// caption that shows the seconds left.
//
// The interval text is read afresh on every tick, so an edit takes effect at
// once: an unusable text pauses the count, a shorter interval than the ticks
// already counted makes the sync due on the next tick.
class SyncCountdown
{
public:
    enum class Step
    {
        Paused,  // the interval text is unusable; nothing changed
        Counted, // one more second counted; caption shows the seconds left
        SyncDue  // the interval is used up; the caller syncs, then calls syncDone()
    };

    explicit SyncCountdown(const QLocale &locale = QLocale());

    Step tick(const QString &intervalText); // one timer tick
    void syncDone();                        // TickCount <- 0, caption <- sync caption
    qint64 tickCount() const;
    // Ticks until the one that syncs, the tick after a count that has run out:
    // 1 when the sync is due now. nullopt when the interval text is unusable.
    std::optional<qint64> ticksUntilSync(const QString &intervalText) const;
    // The same, counted from a restarted count (right after syncDone()).
    std::optional<qint64> ticksPerCycle(const QString &intervalText) const;
    QString caption() const;      // caption after the last Counted step or syncDone();
                                  // empty before either
    static QString syncCaption(); // "KORLA DNS Conector SYNC"
    static QString countdownCaption(qint64 secondsLeft); // "Count-Down: " + N + "Sec."

private:
    QLocale m_locale;
    qint64 m_tickCount = 0;
    QString m_caption;
    bool m_paused = false;
};

#endif
