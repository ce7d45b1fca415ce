#include "rules/PictureGroups.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

namespace {

// Words that name a reduced copy, as a folder or as a name's suffix.
const char* const ReducedWords[] = {"thumb", "thumbs", "thumbnail", "thumbnails", "small", "preview", "previews", "tn"};
// Words that name another rendition of the same picture as a name's suffix.
const char* const VariantWords[] = {"medium", "large", "big", "scaled", "full", "orig", "original"};
// Query parameters that only choose the size or quality of a rendition.
const char* const SizeParameters[] = {"w",   "h",   "width", "height",  "size", "resize",
                                      "fit", "dpr", "q",     "quality", "crop"};

template <size_t N>
bool OneOf(QByteArrayView word, const char* const (&words)[N])
{
    for (const char* known : words)
        if (word.compare(QByteArrayView(known), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

struct TAddressParts {
    QByteArray host;  // lower case, with a port when one is named
    QList<QByteArray> folders;
    QByteArray name;  // the last segment without its extension
    QByteArray extension;
    QList<QByteArray> query;  // name=value pairs in order
};

TAddressParts Split(QByteArrayView address)
{
    TAddressParts parts;
    QByteArrayView rest = address;
    if (const qsizetype hash = rest.indexOf('#'); hash >= 0)
        rest = rest.first(hash);
    if (const qsizetype scheme = rest.indexOf("://"); scheme >= 0)
        rest = rest.sliced(scheme + 3);
    qsizetype pathStart = rest.indexOf('/');
    const qsizetype queryStart = rest.indexOf('?');
    if (pathStart < 0 || (queryStart >= 0 && queryStart < pathStart))
        pathStart = queryStart < 0 ? rest.size() : queryStart;
    parts.host = rest.first(pathStart).toByteArray().toLower();
    rest = rest.sliced(pathStart);
    QByteArrayView path = rest;
    if (const qsizetype q = rest.indexOf('?'); q >= 0) {
        path = rest.first(q);
        for (const QByteArray& pair : rest.sliced(q + 1).toByteArray().split('&'))
            if (!pair.isEmpty())
                parts.query.append(pair);
    }
    QList<QByteArray> segments = path.toByteArray().split('/');
    QByteArray last = segments.isEmpty() ? QByteArray() : segments.takeLast();
    for (const QByteArray& segment : segments)
        if (!segment.isEmpty())
            parts.folders.append(segment);
    const qsizetype dot = last.lastIndexOf('.');
    parts.name = dot < 0 ? last : last.first(dot);
    parts.extension = dot < 0 ? QByteArray() : last.sliced(dot + 1).toLower();
    return parts;
}

const QRegularExpression& DimensionsPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    return pattern;
}

bool IsDimensions(QByteArrayView text, TNamedSize* size = nullptr)
{
    const QRegularExpressionMatch match = DimensionsPattern().match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return false;
    if (size != nullptr)
        *size = {match.captured(1).toInt(), match.captured(2).toInt()};
    return true;
}

bool IsSizeFolder(QByteArrayView folder) { return OneOf(folder, ReducedWords) || IsDimensions(folder); }

// The name's size suffixes, from its end: each follows a "-", "_" or "." (or "@" for "2x"),
// and at least one character of the name stays. `reduced` tells whether one named a reduced
// copy, `size` takes the first dimensions found.
QByteArray NameStem(QByteArray name, bool* reduced, TNamedSize* size)
{
    for (;;) {
        const qsizetype cut =
            std::max({name.lastIndexOf('-'), name.lastIndexOf('_'), name.lastIndexOf('.'), name.lastIndexOf('@')});
        if (cut <= 0)
            return name;
        const QByteArrayView suffix = QByteArrayView(name).sliced(cut + 1);
        TNamedSize named;
        bool isSize = false;
        if (name[cut] == '@') {
            isSize = suffix.size() == 2 && suffix[1] == 'x' && suffix[0] >= '1' && suffix[0] <= '9';
        } else if (IsDimensions(suffix, &named)) {
            isSize = true;
            if (size != nullptr && size->width == 0)
                *size = named;
            // A square suffix of a few dozen pixels is a cropped thumbnail ("-150x150").
            if (reduced != nullptr && named.width == named.height && named.width <= 200)
                *reduced = true;
        } else if (OneOf(suffix, ReducedWords)) {
            isSize = true;
            if (reduced != nullptr)
                *reduced = true;
        } else {
            isSize = OneOf(suffix, VariantWords);
        }
        if (!isSize)
            return name;
        name.truncate(cut);
    }
}

QByteArray ParameterName(const QByteArray& pair)
{
    const qsizetype equals = pair.indexOf('=');
    return equals < 0 ? pair : pair.first(equals);
}

int ParameterNumber(const QByteArray& pair)
{
    const qsizetype equals = pair.indexOf('=');
    bool ok = false;
    const int value = equals < 0 ? 0 : pair.sliced(equals + 1).toInt(&ok);
    return ok && value > 0 ? value : 0;
}

}  // namespace

TNamedSize SizeInName(QByteArrayView address)
{
    const TAddressParts parts = Split(address);
    TNamedSize size;
    NameStem(parts.name, nullptr, &size);
    for (qsizetype i = parts.folders.size(); i-- > 0 && size.width == 0;)
        IsDimensions(parts.folders[i], &size);
    for (const QByteArray& pair : parts.query) {
        const QByteArray name = ParameterName(pair).toLower();
        if (size.width == 0 && (name == "w" || name == "width"))
            size.width = ParameterNumber(pair);
        else if (size.height == 0 && (name == "h" || name == "height"))
            size.height = ParameterNumber(pair);
    }
    return size;
}

TNamedSize StatedSize(QByteArrayView address, int declaredWidth, int declaredHeight)
{
    if (declaredWidth > 0)
        return {declaredWidth, std::max(0, declaredHeight)};
    const TNamedSize named = SizeInName(address);
    return {named.width, declaredHeight > 0 ? declaredHeight : named.height};
}

QByteArray PictureVariantKey(QByteArrayView address)
{
    const TAddressParts parts = Split(address);
    QByteArray key = parts.host;
    for (const QByteArray& folder : parts.folders)
        if (!IsSizeFolder(folder))
            key += '/' + folder;
    key += '/' + NameStem(parts.name, nullptr, nullptr);
    if (!parts.extension.isEmpty())
        key += '.' + parts.extension;
    QByteArray query;
    for (const QByteArray& pair : parts.query)
        if (!OneOf(ParameterName(pair), SizeParameters))
            query += (query.isEmpty() ? "?" : "&") + pair;
    return key + query;
}

bool NamedAsReduced(QByteArrayView address)
{
    const TAddressParts parts = Split(address);
    bool reduced = false;
    NameStem(parts.name, &reduced, nullptr);
    for (const QByteArray& folder : parts.folders)
        reduced = reduced || OneOf(folder, ReducedWords);
    return reduced;
}

QList<int> PictureGroupLeaders(const QList<TPictureCandidate>& candidates)
{
    const qsizetype n = candidates.size();
    QList<int> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&parent](int i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    const auto join = [&](int a, int b) { parent[root(a)] = root(b); };

    QHash<QByteArray, int> byAddress;
    QHash<QByteArray, int> byKey;
    for (int i = 0; i < n; ++i) {
        byAddress.insert(candidates[i].address, i);
        const QByteArray key = PictureVariantKey(candidates[i].address);
        if (const auto found = byKey.constFind(key); found != byKey.cend())
            join(i, *found);
        else
            byKey.insert(key, i);
    }
    std::vector<char> linkedFull(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        if (candidates[i].around.isEmpty())
            continue;
        if (const auto found = byAddress.constFind(candidates[i].around); found != byAddress.cend() && *found != i) {
            join(i, *found);
            linkedFull[*found] = true;
        }
    }

    // The size a copy is taken to have: declared, else stated by its name; a name without size
    // marks is the original, larger than any rendition of it.
    const auto extent = [&](int i) {
        const TPictureCandidate& c = candidates[i];
        if (c.width > 0)
            return std::pair{c.width, c.height};
        const TNamedSize named = SizeInName(c.address);
        if (named.width > 0 || named.height > 0)
            return std::pair{named.width, named.height};
        if (NamedAsReduced(c.address))
            return std::pair{0, 0};
        return std::pair{INT_MAX, INT_MAX};
    };
    QList<int> best(n, -1);
    for (int i = 0; i < n; ++i) {
        int& leader = best[root(i)];
        if (leader < 0 || (linkedFull[i] != linkedFull[leader] ? linkedFull[i] : extent(i) > extent(leader)))
            leader = i;
    }
    QList<int> leaders(n);
    for (int i = 0; i < n; ++i)
        leaders[i] = best[root(i)];
    return leaders;
}
