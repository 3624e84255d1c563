#include "qt/app/SingleInstance.h"

#include "base/AsciiText.h"
#include "qt/Log.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const QString Interface = QStringLiteral("org.example.tavrin_connector.Instance");
const QString ObjectPath = QStringLiteral("/org/example/tavrin_connector/Instance");
// How long a later start waits for the owner's answer before replacing it.
constexpr int AnswerMs = 1000;
// The bus's limit on a name's length.
constexpr qsizetype MaxNameLength = 255;
// Rounds of finding the name's owner gone or changed while asking it.
constexpr int MaxRounds = 10;

} // namespace

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent), m_name(busName(key))
{
}

QString SingleInstance::busName(const QString &key)
{
    // Letters and digits stand for themselves, every other byte of the UTF-8
    // for "_" and its two hex digits, so "-", "." and umlauts fit the bus's
    // alphabet and no two keys meet; the leading "_" keeps digits off the front.
    const QByteArray bytes = key.toUtf8();
    QString name = Interface + QStringLiteral("._");
    for (const char c : bytes) {
        if (AsciiText::isLetter(c) || AsciiText::isDigit(c))
            name += QLatin1Char(c);
        else
            name += QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    if (name.size() <= MaxNameLength)
        return name;
    // Too long for the bus: a hash of the key stands in ("h" never starts an escaped name).
    return Interface + QStringLiteral(".h") +
           QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

SingleInstance::Outcome SingleInstance::claim()
{
    // Failing to guard must not keep the program from running at all.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qCWarning(lcApp) << "no session bus (DBUS_SESSION_BUS_ADDRESS is not set); running "
                            "unguarded";
        return Outcome::Primary;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcApp).noquote() << "cannot reach the session bus:" << bus.lastError().message()
                                   << "; running unguarded";
        return Outcome::Primary;
    }
    QDBusConnectionInterface *daemon = bus.interface();
    connect(daemon, &QDBusConnectionInterface::serviceUnregistered, this,
            [this](const QString &name) {
                if (name == m_name)
                    lose();
            });
    // Before the name: a later start may call as soon as we own it.
    bus.registerObject(ObjectPath, this, QDBusConnection::ExportScriptableSlots);
    for (int round = 0; round < MaxRounds; ++round) {
        if (own(false))
            return Outcome::Primary;
        const QString owner = daemon->serviceOwner(m_name);
        if (owner.isEmpty())
            continue; // it ended a moment ago
        // Asked by its unique name, so a new owner is not mistaken for the old.
        const QDBusMessage answer = bus.call(
            QDBusMessage::createMethodCall(owner, ObjectPath, Interface, QStringLiteral("Show")),
            QDBus::Block, AnswerMs);
        if (answer.type() == QDBusMessage::ReplyMessage) {
            qCInfo(lcApp) << "another instance is running; asked it to show its window";
            return Outcome::HandedOver;
        }
        if (daemon->serviceOwner(m_name).value() != owner)
            continue; // ended or replaced meanwhile: ask whoever owns it now
        qCWarning(lcApp).noquote()
            << QStringLiteral("the running instance (process %1) did not answer within %2 ms "
                              "(%3); taking over")
                   .arg(daemon->servicePid(owner).value())
                   .arg(AnswerMs)
                   .arg(answer.errorName());
        if (own(true))
            return Outcome::Primary;
        qCWarning(lcApp) << "the instance name's owner does not allow replacement; running "
                            "unguarded";
        return Outcome::Primary;
    }
    qCWarning(lcApp) << "the instance name keeps changing owners; running unguarded";
    return Outcome::Primary;
}

void SingleInstance::Show()
{
    // Calls meant for the copy that replaced this one wait here while this one is stopped.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.interface()->serviceOwner(m_name).value() != bus.baseService()) {
        lose();
        return;
    }
    qCInfo(lcApp) << "a later start asks to show the window";
    Q_EMIT showRequested();
}

bool SingleInstance::own(bool replace)
{
    // Others may replace us: a start that finds this copy hung takes its place.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        QDBusConnection::sessionBus().interface()->registerService(
            m_name,
            replace ? QDBusConnectionInterface::ReplaceExistingService
                    : QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::AllowReplacement);
    m_owner = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return m_owner;
}

void SingleInstance::lose()
{
    if (!m_owner)
        return;
    m_owner = false;
    qCWarning(lcApp) << "a later start took the instance name over, this copy having not "
                        "answered in time; ending";
    Q_EMIT replaced();
}
