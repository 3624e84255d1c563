#include "tray/Module1.h"
#include "tray/TrayIconRecord.h"
#include "tray/TrayShell.h"
#include "tray/TrayWindow.h"

#include <QTest>
#include <QtEndian>

namespace {

class RecordingShell : public TrayShell
{
public:
    struct Call
    {
        TrayMessage message;
        QByteArray bytes;
    };
    QList<Call> calls;

    void notify(TrayMessage message, const TrayIconRecord &record) override
    {
        calls.append({message, record.toBytes()});
    }
};

class FakeWindow : public TrayWindow
{
public:
    quint32 handle = 0x00010203;
    quint32 picture = 7;

    quint32 trayWindowHandle() const override { return handle; }
    quint32 trayIconHandle() const override { return picture; }
};

quint32 wordAt(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

} // namespace

class TestTrayIconRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layoutOfMadeRecord()
    {
        const QByteArray bytes = TrayIconRecord::make(0x11223344, 0xA1B2C3D4).toBytes();

        QCOMPARE(bytes.size(), 88);
        QCOMPARE(wordAt(bytes, 0), 88u);
        QCOMPARE(bytes.mid(4, 4), QByteArray("\x44\x33\x22\x11", 4));
        QCOMPARE(wordAt(bytes, 8), 2u);
        QCOMPARE(wordAt(bytes, 12), 7u);
        QCOMPARE(wordAt(bytes, 16), 512u);
        QCOMPARE(bytes.mid(20, 4), QByteArray("\xD4\xC3\xB2\xA1", 4));
        QCOMPARE(bytes.mid(24, 22), QByteArray("KORLA Tavrin Connector"));
        QCOMPARE(bytes.at(46), '\0');
        QCOMPARE(bytes.mid(47), QByteArray(41, ' '));
    }

    void tipField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("tipText");

        QTest::newRow("program name")
            << "KORLA Tavrin Connector"
            << QByteArray("KORLA Tavrin Connector") + '\0' + QByteArray(41, ' ')
            << "KORLA Tavrin Connector";
        QTest::newRow("63 chars keep the NUL, no blanks")
            << QString(63, 'x') << QByteArray(63, 'x') + '\0' << QString(63, 'x');
        QTest::newRow("64 chars lose the NUL")
            << QString(64, 'x') << QByteArray(64, 'x') << QString(64, 'x');
        QTest::newRow("longer text is cut")
            << QString(70, 'y') << QByteArray(64, 'y') << QString(64, 'y');
        QTest::newRow("empty") << QString() << '\0' + QByteArray(63, ' ') << QString();
    }

    void tipField()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        QFETCH(QString, tipText);

        TrayIconRecord record = TrayIconRecord::make(1, 2);
        record.szTip = TrayIconRecord::tipField(text);

        QCOMPARE(record.szTip, field);
        QCOMPARE(record.toBytes().mid(24), field);
        QCOMPARE(record.tipText(), tipText);
        QCOMPARE(TrayIconRecord::fromBytes(record.toBytes()).tipText(), tipText);
    }

    void fromBytesInvertsToBytes()
    {
        const TrayIconRecord original = TrayIconRecord::make(0xFFFFFFFE, 0x80000001);
        const TrayIconRecord copy = TrayIconRecord::fromBytes(original.toBytes());

        QCOMPARE(copy.cbSize, 88u);
        QCOMPARE(copy.hWnd, 0xFFFFFFFEu);
        QCOMPARE(copy.uID, 2u);
        QCOMPARE(copy.uFlags, 7u);
        QCOMPARE(copy.uCallbackMessage, 512u);
        QCOMPARE(copy.hIcon, 0x80000001u);
        QCOMPARE(copy.szTip, original.szTip);
        QCOMPARE(copy.toBytes(), original.toBytes());
    }

    void fromBytesRejectsWrongSize_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("one short") << 87;
        QTest::newRow("one over") << 89;
    }

    void fromBytesRejectsWrongSize()
    {
        QFETCH(int, size);
        QByteArray bytes = TrayIconRecord::make(3, 4).toBytes();
        bytes.resize(size, 'z');
        QCOMPARE(TrayIconRecord::fromBytes(bytes).cbSize, 0u);
    }

    void operationsDifferOnlyInMessage()
    {
        RecordingShell shell;
        FakeWindow window;
        Module1 tray(shell, window);

        tray.TrayAdd();
        tray.TrayModify();
        tray.TrayRemove();

        QCOMPARE(shell.calls.size(), 3);
        QCOMPARE(shell.calls[0].message, TrayMessage::Add);
        QCOMPARE(shell.calls[1].message, TrayMessage::Modify);
        QCOMPARE(shell.calls[2].message, TrayMessage::Delete);
        const QByteArray expected = TrayIconRecord::make(window.handle, window.picture).toBytes();
        for (const RecordingShell::Call &call : shell.calls)
            QCOMPARE(call.bytes, expected);
        QCOMPARE(tray.record().toBytes(), expected);
    }

    void recordFollowsWindow()
    {
        RecordingShell shell;
        FakeWindow window;
        Module1 tray(shell, window);

        tray.TrayAdd();
        window.picture = 9;
        window.handle = 0x0A0B0C0D;
        tray.TrayModify();

        QCOMPARE(wordAt(shell.calls[0].bytes, 20), 7u);
        QCOMPARE(wordAt(shell.calls[1].bytes, 20), 9u);
        QCOMPARE(wordAt(shell.calls[1].bytes, 4), 0x0A0B0C0Du);
        QCOMPARE(tray.record().hIcon, 9u);
    }
};

QTEST_GUILESS_MAIN(TestTrayIconRecord)
#include "tst_trayiconrecord.moc"
