#include "qt/update/BrowserRequestChannel.h"

#include "qt/update/BrowserControl.h"

BrowserRequestChannel::BrowserRequestChannel(BrowserControl &browser) : m_browser(browser)
{
    m_succeeded =
        QObject::connect(&browser, &BrowserControl::requestSucceeded, &browser, [this](int status) {
            finished({true, status, {}});
        });
    m_failed = QObject::connect(&browser, &BrowserControl::requestFailed, &browser,
                                [this](int status, const QString &reason) {
                                    finished({false, status, reason.toStdString()});
                                });
}

BrowserRequestChannel::~BrowserRequestChannel()
{
    QObject::disconnect(m_succeeded);
    QObject::disconnect(m_failed);
}

void BrowserRequestChannel::navigate(const std::string &url)
{
    m_browser.Navigate(QString::fromStdString(url));
}

void BrowserRequestChannel::stop()
{
    m_browser.Stop();
}

bool BrowserRequestChannel::busy() const
{
    return m_browser.Busy();
}

void BrowserRequestChannel::setTheaterMode(bool on)
{
    m_browser.setTheaterMode(on);
}

void BrowserRequestChannel::setFinishedHandler(FinishedHandler handler)
{
    m_handler = std::move(handler);
}

void BrowserRequestChannel::finished(const RequestOutcome &outcome) const
{
    if (m_handler)
        m_handler(outcome);
}
