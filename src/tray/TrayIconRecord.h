#ifndef TAVRIN_TRAY_TRAYICONRECORD_H
#define TAVRIN_TRAY_TRAYICONRECORD_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The fixed 88-byte record that describes the program's one tray icon. It is
// rebuilt in full for every tray call; the byte layout is little-endian with a
// 64-byte ANSI tip text that ends at its first NUL and is padded with blanks.
struct TrayIconRecord
{
    static constexpr int Size = 88;
    static constexpr int TipSize = 64;

    // uFlags bits: which of the fields below carry a value.
    static constexpr quint32 MessageFlag = 1;
    static constexpr quint32 IconFlag = 2;
    static constexpr quint32 TipFlag = 4;

    quint32 cbSize = 0;
    quint32 hWnd = 0;
    quint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    quint32 hIcon = 0;
    QByteArray szTip; // TipSize bytes once built by make() or fromBytes()

    // The record of the program's icon for the given window and picture.
    static TrayIconRecord make(quint32 windowHandle, quint32 iconHandle);

    // Exactly Size bytes in the layout described above.
    QByteArray toBytes() const;

    // The inverse of toBytes(); a block of the wrong size gives a record with cbSize 0.
    static TrayIconRecord fromBytes(const QByteArray &bytes);

    // The tip up to its terminating NUL, without the padding.
    QString tipText() const;

    // A tip field holding text, a NUL and blanks up to TipSize; longer text is cut.
    static QByteArray tipField(const QString &text);
};

#endif
