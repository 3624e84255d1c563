#include "tray/Module1.h"
#include "tray/TrayIconRecord.h"
#include "tray/TrayShell.h"
#include "tray/TrayWindow.h"

#include <QTest>

namespace {

class RecordingShell : public TrayShell
{
public:
    struct Call
    {
        TrayMessage message;
        TrayIconRecord::Bytes bytes;
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

quint32 wordAt(const TrayIconRecord::Bytes &bytes, int offset)
{
    return quint32(bytes[offset]) | quint32(bytes[offset + 1]) << 8 |
           quint32(bytes[offset + 2]) << 16 | quint32(bytes[offset + 3]) << 24;
}

} // namespace

// The tray operations hand the shell the full record, rebuilt from the window each time.
class TestModule1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
        const TrayIconRecord::Bytes expected =
            TrayIconRecord::make(window.handle, window.picture).toBytes();
        for (const RecordingShell::Call &call : shell.calls)
            QVERIFY(call.bytes == expected);
        QVERIFY(tray.record().toBytes() == expected);
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

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_module1.moc"
