#include "settings/IniDocument.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace {

std::u16string u16(const QString &text)
{
    return text.toStdU16String();
}

QString qt(const std::u16string &text)
{
    return QString::fromStdU16String(text);
}

// Each file gets a name QSettings has not seen: it caches parsed files per process.
QString freshPath(const QTemporaryDir &dir)
{
    static int files = 0;
    return dir.filePath(QStringLiteral("f%1.ini").arg(++files));
}

void writeBytes(const QString &path, const std::string &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data.data(), qint64(data.size())), qint64(data.size()));
}

std::string readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    return file.readAll().toStdString();
}

// What our reader makes of a value, in QVariant terms, for comparing with QSettings.
QVariant asVariant(const IniDocument::Value &value)
{
    switch (value.kind) {
    case IniDocument::Value::Kind::Text:
        return qt(value.text);
    case IniDocument::Value::Kind::List: {
        QStringList list;
        for (const std::u16string &element : value.list)
            list.append(qt(element));
        return list;
    }
    case IniDocument::Value::Kind::Invalid:
        return QVariant();
    case IniDocument::Value::Kind::Other:
        return QVariant::fromValue(QVariantList());
    }
    return QVariant();
}

// QSettings' value in the same terms: typed values other than text and lists
// all count as "other".
QVariant normalised(const QVariant &value)
{
    if (!value.isValid() || value.typeId() == QMetaType::QString ||
        value.typeId() == QMetaType::QStringList)
        return value;
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return QVariant::fromValue(QVariantList());
}

} // namespace

class TestIniDocument : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void awkwardValuesMatchQSettingsBothWays_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString("");
        QTest::newRow("backslashes") << QString("C:\\dir\\\\share\\");
        QTest::newRow("quotes") << QString("say \"hi\" \"");
        QTest::newRow("ini syntax") << QString("a=b;c #d [e] ,f");
        QTest::newRow("hash first") << QString("#not a comment");
        QTest::newRow("semicolon first") << QString(";not a comment");
        QTest::newRow("outer spaces") << QString("  padded  ");
        QTest::newRow("outer tabs") << QString("\tpadded\t");
        QTest::newRow("non-ascii") << QString("Grüße ☃ 😀 %U00e9");
        QTest::newRow("controls") << QString("a\nb\r\tc\x01"
                                             "d\x7f");
        QTest::newRow("nul then digits") << QString::fromUtf16(u"x\0"
                                                               "12ab",
                                                               7);
        QTest::newRow("escape then hex digit") << QString("\x01"
                                                          "f");
        QTest::newRow("at sign") << QString("@Invalid()");
        QTest::newRow("at bytes") << QString("@ByteArray(x)");
        QTest::newRow("lone surrogate-free url") << QString("http://h/k?x=1&y=2");
        QTest::newRow("very long") << QString("Wert, mit; allem = \"drin\" \\ ").repeated(5000);
    }

    // Our writer's text reads back unchanged through QSettings and through our
    // reader, and QSettings' text reads back unchanged through our reader.
    void awkwardValuesMatchQSettingsBothWays()
    {
        QFETCH(QString, value);
        IniDocument ours;
        ours.setText(u"settings/TavrinKey", u16(value));
        bool found = false;
        QCOMPARE(asVariant(ours.value(u"settings/TavrinKey", &found)), QVariant(value));
        QVERIFY(found);
        QCOMPARE(QString::fromStdString(IniDocument::problem(ours.data())), QString());

        const QString written = freshPath(m_dir);
        writeBytes(written, ours.data());
        QSettings reader(written, QSettings::IniFormat);
        QCOMPARE(reader.value("settings/TavrinKey"), QVariant(value));
        QCOMPARE(reader.status(), QSettings::NoError);

        const QString theirs = freshPath(m_dir);
        {
            QSettings writer(theirs, QSettings::IniFormat);
            writer.setValue("settings/TavrinKey", value);
            writer.setValue("settings/TavrinTime", "5");
        }
        const IniDocument read(readBytes(theirs));
        QCOMPARE(asVariant(read.value(u"settings/TavrinKey", &found)), QVariant(value));
        QVERIFY(read.holdsText(u"settings/TavrinKey", u16(value)));
    }

    // Values typed by hand read as QSettings reads them.
    void handWrittenValuesReadAsQSettingsReadsThem_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("spaces around") << QByteArray("   v  w   ");
        QTest::newRow("quoted spaces") << QByteArray("\"  v  \"  ");
        QTest::newRow("partly quoted") << QByteArray("a \"b;c\" d");
        QTest::newRow("escaped space dropped") << QByteArray("a\\ b");
        QTest::newRow("hex and octal") << QByteArray("\\x41\\101\\x263a\\0");
        QTest::newRow("list") << QByteArray("a , b,c");
        QTest::newRow("quoted list item") << QByteArray("\"a,b\", c");
        QTest::newRow("list with type") << QByteArray("a, @Invalid()");
        QTest::newRow("list with at") << QByteArray("a, @@b");
        QTest::newRow("invalid") << QByteArray("@Invalid()");
        QTest::newRow("byte array") << QByteArray("@ByteArray(abc)");
        QTest::newRow("string marker") << QByteArray("@String(x\\0y)");
        QTest::newRow("double at") << QByteArray("@@at");
        QTest::newRow("rect") << QByteArray("@Rect(1 2 3 4)");
        QTest::newRow("unknown marker") << QByteArray("@Foo(x)");
        QTest::newRow("comment after") << QByteArray("v ; note");
        QTest::newRow("trailing backslash") << QByteArray("v  \\");
        QTest::newRow("escaped tab at end") << QByteArray("v\\t  ");
    }

    void handWrittenValuesReadAsQSettingsReadsThem()
    {
        QFETCH(QByteArray, raw);
        const std::string file = "[S]\nK=" + raw.toStdString() + "\n";
        const QString path = freshPath(m_dir);
        writeBytes(path, file);
        const QSettings settings(path, QSettings::IniFormat);
        bool found = false;
        QCOMPARE(asVariant(IniDocument(file).value(u"S/K", &found)),
                 normalised(settings.value("S/K")));
        QVERIFY(found);
    }

    // A change to one key keeps everything else QSettings finds in the file.
    void editingKeepsEveryOtherKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("existing key") << "settings/TavrinKey";
        QTest::newRow("new key in a section") << "settings/New";
        QTest::newRow("new section") << "Neu/Wert";
        QTest::newRow("general") << "Top";
        QTest::newRow("section named General") << "General/x";
        QTest::newRow("odd name") << "S p/ä ☃";
    }

    void editingKeepsEveryOtherKey()
    {
        QFETCH(QString, key);
        const QString path = freshPath(m_dir);
        {
            QSettings writer(path, QSettings::IniFormat);
            writer.setValue("settings/TavrinKey", "http://h/old");
            writer.setValue("settings/TavrinTime", "1,5");
            writer.setValue("Top", "level");
            writer.setValue("General/x", "real section");
            writer.setValue("S p/ä ☃", "odd");
            writer.setValue("Other/List", QStringList({"a", "b"}));
            writer.setValue("Other/Number", 42);
            writer.setValue("Other/Nothing", QVariant());
        }
        QSettings before(path, QSettings::IniFormat);
        QVariantMap expected;
        for (const QString &name : before.allKeys())
            expected.insert(name, before.value(name));
        expected.insert(key, QString("new = \"value\""));

        IniDocument document(readBytes(path));
        document.setText(u16(key), u"new = \"value\"");
        QCOMPARE(QString::fromStdString(IniDocument::problem(document.data())), QString());
        const QString edited = freshPath(m_dir);
        writeBytes(edited, document.data());
        QSettings after(edited, QSettings::IniFormat);
        QVariantMap actual;
        for (const QString &name : after.allKeys())
            actual.insert(name, after.value(name));
        QCOMPARE(actual, expected);
        QCOMPARE(after.status(), QSettings::NoError);
    }

    // Comments and lines by hand stay; only the value changes.
    void editingChangesOnlyTheValue()
    {
        IniDocument document("; mine\r\n[settings]\r\nTavrinKey = old ; note\r\nTavrinTime=5\r\n");
        document.setText(u"settings/TavrinKey", u"new");
        QCOMPARE(QString::fromStdString(document.data()),
                 QString("; mine\r\n[settings]\r\nTavrinKey =new; note\r\nTavrinTime=5\r\n"));
        document.setText(u"settings/Extra", u"x");
        QCOMPARE(
            QString::fromStdString(document.data()),
            QString("; mine\r\n[settings]\r\nTavrinKey =new; note\r\nTavrinTime=5\r\nExtra=x\r\n"));
    }

    void problems_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("usable");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("bom and comments") << QByteArray("\xef\xbb\xbf; c\n\n[S]\nK=v") << true;
        QTest::newRow("nul") << QByteArray("[S]\nK=\0", 7) << false;
        QTest::newRow("overlong utf-8") << QByteArray("[S]\nK=\xc0\xaf\n") << false;
        QTest::newRow("utf-8 surrogate") << QByteArray("[S]\nK=\xed\xa0\x80\n") << false;
        QTest::newRow("cut utf-8") << QByteArray("[S]\nK=\xe2\x98") << false;
        QTest::newRow("4-byte utf-8") << QByteArray("[S]\nK=\xf0\x9f\x98\x80\n") << true;
        QTest::newRow("unclosed section") << QByteArray("[S\nK=v\n") << false;
        QTest::newRow("semicolon before =") << QByteArray("[S]\na;b=c\n") << false;
        QTest::newRow("escaped = only") << QByteArray("[S]\nK\\=v\n") << false;
    }

    void problems()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, usable);
        QCOMPARE(IniDocument::problem(data.toStdString()).empty(), usable);
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
