#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTest>

ProgramRun::ProgramRun(const QString &configHome, QObject *parent)
    : QObject(parent), m_configHome(configHome)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ProgramRun::readOutput);
}

ProgramRun::~ProgramRun()
{
    if (isRunning())
        kill();
}

QString ProgramRun::programPath()
{
    return QStringLiteral(TAVRIN_PROGRAM_PATH);
}

QString ProgramRun::settingsPath(const QString &configHome)
{
    return configHome + QStringLiteral("/tavrin-connector/tavrin-connector.ini");
}

bool ProgramRun::seedSettings(const QString &configHome, const QString &updateUrl,
                              const QString &interval)
{
    const QString directory = configHome + QStringLiteral("/tavrin-connector");
    if (!QDir().mkpath(directory) ||
        !QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    QFile file(settingsPath(configHome));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate,
                   QFile::ReadOwner | QFile::WriteOwner))
        return false;
    QByteArray text = "[settings]\nTavrinKey=" + updateUrl.toUtf8() + "\n";
    if (!interval.isNull())
        text += "TavrinTime=" + interval.toUtf8() + "\n";
    return file.write(text) == text.size() &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

bool ProgramRun::start()
{
    if (!m_runtimeDir.isValid())
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Loopback requests go straight to the test's server.
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (!m_busAddress.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tavrin.*=true"));
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{category}: %{message}"));
    QString program = programPath();
    if (m_timeScale > 0.0) {
        // The settings are addressed by the executable's base name.
        m_linkDir = std::make_unique<QTemporaryDir>();
        program = m_linkDir->filePath(QFileInfo(programPath()).fileName());
        if (!m_linkDir->isValid() ||
            !QFile::link(QStringLiteral(TAVRIN_TESTHOOKS_PROGRAM_PATH), program))
            return false;
        env.insert(QStringLiteral("TAVRIN_TIME_SCALE"), QString::number(m_timeScale));
    }
    m_process.setProcessEnvironment(env);
    if (m_childSetup)
        m_process.setChildProcessModifier(m_childSetup);

    m_output.clear();
    m_partial.clear();
    m_lines.clear();
    m_clock.start();
    m_process.start(program, {});
    return m_process.waitForStarted(5000);
}

void ProgramRun::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
    readOutput();
}

void ProgramRun::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        kill();
    readOutput();
}

bool ProgramRun::waitForLine(const QString &fragment, int timeoutMs)
{
    return QTest::qWaitFor([&] { return hasLine(fragment); }, timeoutMs);
}

bool ProgramRun::waitForEnd(int timeoutMs)
{
    const bool ended =
        m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    readOutput();
    return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool ProgramRun::hasLine(const QString &fragment) const
{
    for (const LogLine &line : m_lines) {
        if (line.text.contains(fragment))
            return true;
    }
    return false;
}

void ProgramRun::readOutput()
{
    const QByteArray data = m_process.readAll();
    if (data.isEmpty())
        return;
    m_output += data;
    m_partial += data;
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append({m_clock.elapsed(), QString::fromUtf8(m_partial.left(end))});
        m_partial.remove(0, end + 1);
    }
}
