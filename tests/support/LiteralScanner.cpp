#include "support/LiteralScanner.h"

namespace {
QByteArray UpperAscii(QByteArray text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return text;
}

bool Exists(const QByteArrayList& list, const QByteArray& link)
{
    if (link.isEmpty() || link.contains(".."))
        return true;
    for (const QByteArray& entry : list)
        if (entry == link)
            return true;
    return false;
}

QByteArray Extension(const QByteArray& link)
{
    const qsizetype dot = link.lastIndexOf('.');
    return dot < 0 ? QByteArray() : UpperAscii(link.mid(dot + 1));
}
}  // namespace

QList<TLiteralMarker> LiteralMarkers(const QByteArray& text)
{
    QByteArray prepared;
    for (char c : text)
        if (c != ' ')
            prepared.append(c);
    QByteArray search = UpperAscii(prepared);
    QList<TLiteralMarker> markers;
    if (search.isEmpty())
        return markers;
    for (;;) {
        qsizetype start;
        bool picture = false;
        const qsizetype link = search.indexOf("HREF=\"");
        if (link >= 0) {
            start = link + 6;
        } else {
            const qsizetype pic = search.indexOf("IMGSRC=\"");
            if (pic < 0)
                break;
            picture = true;
            start = pic + 8;
        }
        qsizetype end = search.indexOf('"', start);
        if (end < 0)
            end = search.size();
        markers.append({picture, prepared.mid(start, end - start)});
        search[start - 4] = '_';
    }
    return markers;
}

QByteArray LiteralResolve(const QByteArray& base, const QByteArray& link)
{
    QByteArray working = base;
    QByteArray result = link;
    if (result.left(2) == "..") {
        result.remove(0, result.indexOf('/') + 1);  // nothing when there is no "/"
        working.chop(1);
        while (!working.isEmpty() && working.right(1) != "/")
            working.chop(1);
    }
    if (!result.contains("//")) {
        if (result.left(1) == "/")
            result.remove(0, 1);
        result = working + result;
    }
    const qsizetype scheme = UpperAscii(result).indexOf("HTTP:");
    if (scheme > 0)
        result = result.mid(scheme);
    return result;
}

bool LiteralIsDocument(const QByteArray& link)
{
    const QByteArray ext = Extension(link);
    return (ext == "HTM" || ext == "HTML" || ext == "SHTML" || ext == "COM") && !link.contains("..")
        && !link.contains("mailto") && !link.contains('?');
}

bool LiteralIsFile(const QByteArray& link)
{
    const QByteArray ext = Extension(link);
    return (ext == "JPG" || ext == "JPEG" || ext == "GIF" || ext == "AVI" || ext == "MPG" || ext == "MPEG"
            || ext == "ZIP")
        && !link.contains("..") && !link.contains('?');
}

void LiteralParse(const QByteArray& base, const QByteArray& text, int parseMode, const TLiteralOptions& options,
                  TLiteralLists& lists)
{
    for (const TLiteralMarker& marker : LiteralMarkers(text)) {
        const QByteArray value = marker.picture && !options.pictures ? QByteArray() : marker.value;
        const QByteArray link = LiteralResolve(base, value);
        if (LiteralIsDocument(link)) {
            if (parseMode == 1) {
                if (!Exists(lists.parse, link))
                    lists.parse.append(link);
            } else if (parseMode == 2 && options.childLinks && !Exists(lists.documents, link)
                       && !Exists(lists.parse, link)) {
                lists.documents.append(link);
            }
        } else if (LiteralIsFile(link)) {
            lists.lastFileLink = link;
            if (!Exists(lists.files, link)) {
                lists.files.append(link);
                const bool tick = options.selectFirst && !lists.firstFileTaken;
                lists.fileTicked.append(tick);
                if (tick)
                    lists.firstFileTaken = true;
            }
        }
    }
}
