#include "qt/app/XdgAutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(LoginEntryPlace::State)

// The user's autostart file as the platform reads and writes it, in a config
// home of the test's own.
class tst_XdgAutostartEntry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    const QString m_program = QStringLiteral("/opt/my apps/tavrin-connector");

    QByteArray read(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->path()));
    }

    // Made where the desktops look, valid, starting the program's own path
    // with /a; never over an entry that is there.
    void createMakesAValidEntryOnce()
    {
        XdgAutostartEntry entry(m_program);
        const QString path = m_home->filePath(QStringLiteral("autostart/tavrin-connector.desktop"));
        QCOMPARE(entry.filePath(), path);
        QCOMPARE(entry.state(), LoginEntryPlace::State::Missing);
        std::string reason;
        QVERIFY2(entry.create(reason), reason.c_str());
        QCOMPARE(entry.state(), LoginEntryPlace::State::Present);
        const QByteArray made = read(path);
        QVERIFY(made.contains("\nExec=\"/opt/my apps/tavrin-connector\" /a\n"));
        QVERIFY(made.contains("\nX-KDE-autostart-after=panel\n"));
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {path});
        QVERIFY(validate.waitForFinished(10000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());

        QVERIFY(!entry.create(reason));
        QCOMPARE(read(path), made);
        QCOMPARE(QDir(m_home->filePath(QStringLiteral("autostart")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("tavrin-connector.desktop")});
    }

    void state_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: a dangling link
        QTest::addColumn<LoginEntryPlace::State>("expected");
        using S = LoginEntryPlace::State;
        QTest::newRow("user's own") << QByteArray("[Desktop Entry]\nExec=x\n") << S::Present;
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nHidden=true\n") << S::SwitchedOff;
        QTest::newRow("gnome off")
            << QByteArray("[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n") << S::SwitchedOff;
        QTest::newRow("dangling link") << QByteArray() << S::Present;
    }

    void state()
    {
        QFETCH(QByteArray, content);
        QFETCH(LoginEntryPlace::State, expected);
        XdgAutostartEntry entry(m_program);
        QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("autostart"))));
        if (content.isEmpty()) {
            QVERIFY(QFile::link(m_home->filePath(QStringLiteral("gone")), entry.filePath()));
        } else {
            QFile file(entry.filePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(entry.state(), expected);
    }
};

QTEST_GUILESS_MAIN(tst_XdgAutostartEntry)
#include "tst_xdgautostartentry.moc"
