#ifndef TAVRIN_TESTS_CHANNELOUTCOMES_H
#define TAVRIN_TESTS_CHANNELOUTCOMES_H

#include "update/RequestChannel.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

// A channel's outcomes as a signal spy would list them: succeeded and failed
// hold {HTTP status, log text}, pages the answer area's text.
struct ChannelOutcomes
{
    explicit ChannelOutcomes(RequestChannel &channel)
    {
        channel.setFinishedHandler([this](const RequestOutcome &o) {
            if (o.answerText)
                pages.append(QVariantList{QString::fromStdString(*o.answerText)});
            (o.succeeded() ? succeeded : failed)
                .append(QVariantList{o.httpStatus, QString::fromStdString(o.logText())});
            last = o;
            if (then)
                then();
        });
    }
    int count() const { return int(succeeded.count() + failed.count()); }

    QList<QVariantList> succeeded;
    QList<QVariantList> failed;
    QList<QVariantList> pages;
    RequestOutcome last;
    std::function<void()> then;
};

#endif
