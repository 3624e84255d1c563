#include "tray/TrayIconRecord.h"

#include <QtEndian>

#include <algorithm>

namespace {

constexpr quint32 IconId = 2;
constexpr quint32 CallbackMessage = 512; // mouse messages arrive as "mouse move" + offset
const char TipText[] = "KORLA Tavrin Connector";

void putWord(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

quint32 getWord(const char *at)
{
    return qFromLittleEndian<quint32>(at);
}

} // namespace

TrayIconRecord TrayIconRecord::make(quint32 windowHandle, quint32 iconHandle)
{
    TrayIconRecord record;
    record.cbSize = Size;
    record.hWnd = windowHandle;
    record.uID = IconId;
    record.uFlags = MessageFlag | IconFlag | TipFlag;
    record.uCallbackMessage = CallbackMessage;
    record.hIcon = iconHandle;
    record.szTip = tipField(QString::fromLatin1(TipText));
    return record;
}

QByteArray TrayIconRecord::tipField(const QString &text)
{
    QByteArray field = text.toLatin1();
    field.append('\0');
    // A fixed-length text field is filled with blanks after its content.
    if (field.size() < TipSize)
        field.append(TipSize - field.size(), ' ');
    field.truncate(TipSize);
    return field;
}

QByteArray TrayIconRecord::toBytes() const
{
    QByteArray bytes(Size, '\0');
    char *data = bytes.data();
    putWord(data + 0, cbSize);
    putWord(data + 4, hWnd);
    putWord(data + 8, uID);
    putWord(data + 12, uFlags);
    putWord(data + 16, uCallbackMessage);
    putWord(data + 20, hIcon);
    // A tip shorter than the field (only in a record not built by make) leaves NULs.
    const QByteArray tip = szTip.left(TipSize);
    std::copy(tip.cbegin(), tip.cend(), data + 24);
    return bytes;
}

TrayIconRecord TrayIconRecord::fromBytes(const QByteArray &bytes)
{
    TrayIconRecord record;
    if (bytes.size() != Size)
        return record;
    const char *data = bytes.constData();
    record.cbSize = getWord(data + 0);
    record.hWnd = getWord(data + 4);
    record.uID = getWord(data + 8);
    record.uFlags = getWord(data + 12);
    record.uCallbackMessage = getWord(data + 16);
    record.hIcon = getWord(data + 20);
    record.szTip = bytes.mid(24, TipSize);
    return record;
}

QString TrayIconRecord::tipText() const
{
    const qsizetype end = szTip.indexOf('\0');
    if (end >= 0)
        return QString::fromLatin1(szTip.left(end));
    // A tip that fills the whole field has no NUL; only its padding is dropped.
    qsizetype length = szTip.size();
    while (length > 0 && szTip.at(length - 1) == ' ')
        --length;
    return QString::fromLatin1(szTip.left(length));
}
