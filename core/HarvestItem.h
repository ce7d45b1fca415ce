#pragma once
// One item of the document list or the file list, as data. The window's lists, the session
// store, the picture grid and the command-line harvester all read and write items through this
// record; nothing here knows a widget.
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdint>

#include "rules/ListStates.h"

struct THarvestItem {
    uint64_t Id = 0;     // stable for the item's life: sorting, deleting others and reloading keep it
    QByteArray Address;  // the full address, never cut
    bool Checked = false;
    int State = -1;       // DocPending..DocParsed or FilePending..FileSkipped (rules/ListStates.h)
    QByteArray FileName;  // file items: the local name (the "Filename" column)
    QByteArray SizeText;  // file items: the "Size" column as shown
    QString Reason;       // why it failed or what it waits for; empty otherwise

    // What the transfers, sessions and picker add; empty or -1 while unknown.
    QByteArray Referrer;     // the page it was found on (sent as Referer by the modern option)
    QByteArray ContentType;  // of the last response
    qint64 BytesReceived = 0;
    qint64 BytesTotal = -1;
    int Tries = 0;
    qint64 WaitUntilMs = 0;  // epoch milliseconds before which no new try starts; 0 none
    int PixelWidth = -1;
    int PixelHeight = -1;
};
