#include "update/SyncCountdown.h"

#include "update/SyncInterval.h"
#include "update/UpdateLog.h"

SyncCountdown::SyncCountdown(const QLocale &locale) : m_locale(locale) {}

SyncCountdown::Step SyncCountdown::tick(const QString &intervalText)
{
    const std::optional<qint64> target = SyncInterval::targetSeconds(intervalText, m_locale);
    if (!target) {
        if (!m_paused)
            qCDebug(lcUpdate) << "Countdown paused: interval" << intervalText << "is not usable";
        m_paused = true;
        return Step::Paused;
    }
    if (m_paused)
        qCDebug(lcUpdate) << "Countdown resumed with" << *target << "seconds";
    m_paused = false;

    if (m_tickCount >= *target)
        return Step::SyncDue;

    ++m_tickCount;
    m_caption = countdownCaption(*target - m_tickCount);
    return Step::Counted;
}

void SyncCountdown::syncDone()
{
    m_tickCount = 0;
    m_caption = syncCaption();
}

qint64 SyncCountdown::tickCount() const
{
    return m_tickCount;
}

std::optional<qint64> SyncCountdown::ticksUntilSync(const QString &intervalText) const
{
    const std::optional<qint64> target = SyncInterval::targetSeconds(intervalText, m_locale);
    if (!target)
        return std::nullopt;
    return qMax<qint64>(*target - m_tickCount, 0) + 1;
}

std::optional<qint64> SyncCountdown::ticksPerCycle(const QString &intervalText) const
{
    const std::optional<qint64> target = SyncInterval::targetSeconds(intervalText, m_locale);
    if (!target)
        return std::nullopt;
    return *target + 1;
}

QString SyncCountdown::caption() const
{
    return m_caption;
}

QString SyncCountdown::syncCaption()
{
    return QStringLiteral("KORLA DNS Conector SYNC");
}

QString SyncCountdown::countdownCaption(qint64 secondsLeft)
{
    // QString::number ignores the locale: plain digits, no group separators.
    return QStringLiteral("Count-Down: ") + QString::number(secondsLeft) + QStringLiteral("Sec.");
}
