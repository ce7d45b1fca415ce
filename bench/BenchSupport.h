#pragma once
// Pages and clocks shared by the benchmark programs. Pages are generated, the same bytes on every
// run: HTML filler with link and picture markers that are relative, absolute, "..", leading "/",
// redirects, duplicates, mixed case and noise.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <ctime>
#include <sys/resource.h>

namespace bench {

// A small fixed generator: the page must not depend on the library's random source.
struct TLcg {
    quint64 state;
    quint32 Next(quint32 bound)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32((state >> 33) % bound);
    }
};

inline QByteArray MarkerText(TLcg& lcg, int n, QList<QByteArray>& earlier)
{
    static const char* const linkMarkers[] = {"href=\"", "HREF=\"", "HrEf=\"", "href = \""};
    static const char* const pictureMarkers[] = {"img src=\"", "IMG SRC=\"", "Img Src = \""};
    QByteArray value;
    switch (lcg.Next(10)) {
    case 0: value = "pics/Photo" + QByteArray::number(n) + ".JPG"; break;
    case 1:
        value = "http://h" + QByteArray::number(n % 97) + ".example/p/page" + QByteArray::number(n) + ".html";
        break;
    case 2: value = "../up/page" + QByteArray::number(n) + ".htm"; break;
    case 3: value = "/abs/movie " + QByteArray::number(n) + ".mpeg"; break;
    case 4: value = "go.cgi?to=http://h2.example/z" + QByteArray::number(n) + ".zip"; break;
    case 5: value = "mailto:someone" + QByteArray::number(n) + "@host.html"; break;
    case 6: value = "style" + QByteArray::number(n) + ".css"; break;
    default:  // duplicates, sometimes in another letter case
        value = earlier.isEmpty() ? QByteArray("first.gif") : earlier.at(lcg.Next(quint32(earlier.size())));
        if (lcg.Next(4) == 0)
            value = value.toUpper();
        break;
    }
    if (earlier.size() < 4096)
        earlier.append(value);
    const bool picture = lcg.Next(3) == 0;
    if (picture)
        return "<" + QByteArray(pictureMarkers[lcg.Next(3)]) + value + "\" alt=\"picture\">";
    return "<a " + QByteArray(linkMarkers[lcg.Next(4)]) + value + "\" class=\"item\">text</a>";
}

inline QByteArray MakePage(qsizetype bytes, int markers, quint64 seed)
{
    static const char* const filler[] = {
        "<p class=\"text\">Lorem ipsum dolor sit amet, consectetur adipiscing elit. </p>\n",
        "<div id=\"box\" style=\"margin: 0\">sed do eiusmod tempor incididunt ut labore</div>\n",
        "<td width=\"40\" align=\"left\">et dolore magna aliqua</td>\n",
        "<!-- a comment without links -->\n",
        "<script>var s = \"quoted\"; var t = 'single';</script>\n",
    };
    TLcg lcg{seed};
    QList<QByteArray> earlier;
    QByteArray page;
    page.reserve(bytes + 4096);
    page += "<html><head><title>Generated page</title></head><body>\n";
    const qsizetype perMarker = bytes / markers;
    for (int n = 0; n < markers; ++n) {
        const qsizetype until = qsizetype(n + 1) * perMarker;
        while (page.size() < until - 100)
            page += filler[lcg.Next(5)];
        page += MarkerText(lcg, n, earlier);
        page += '\n';
    }
    while (page.size() < bytes)
        page += filler[lcg.Next(5)];
    page += "</body></html>\n";
    return page;
}

// A page whose every marker is a link to a document of its own: `documents` distinct document
// links (relative, so each resolves against the page's directory) amid filler.
inline QByteArray MakeDistinctDocumentsPage(int documents)
{
    QByteArray page = "<html><head><title>Index</title></head><body>\n";
    page.reserve(qsizetype(documents) * 64 + 64);
    for (int n = 0; n < documents; ++n) {
        page += "<li><a href=\"doc/entry";
        page += QByteArray::number(n);
        page += ".html\">entry</a></li>\n";
    }
    page += "</body></html>\n";
    return page;
}

inline double CpuSecondsOfThread()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

inline double CpuSecondsOfChildren()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Best wall time and best processor time of the rounds run so far.
struct TBest {
    double wall = 1e30;
    double cpu = 1e30;
    void Note(double wallSeconds, double cpuSeconds)
    {
        wall = std::min(wall, wallSeconds);
        cpu = std::min(cpu, cpuSeconds);
    }
};

// Processor seconds of the whole process (every thread).
inline double CpuSecondsOfProcess()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The addresses of a list file, one a line (blank lines skipped); false when it cannot be read.
inline bool ReadAddressList(const char* path, QList<QByteArray>* addresses)
{
    QFile list(QString::fromLocal8Bit(path));
    if (!list.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : list.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            addresses->append(line.trimmed());
    return true;
}

// Where a downloaded address goes in `dir`: its last path segment.
inline QString SavedPath(const QString& dir, const QByteArray& address)
{
    return dir + '/' + QString::fromLatin1(address.mid(address.lastIndexOf('/') + 1));
}

}  // namespace bench
