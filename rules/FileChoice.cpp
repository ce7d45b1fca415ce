#include "rules/FileChoice.h"

#include "rules/PictureGroups.h"

TFileFacts ListedFileFacts(const QByteArray& address, const TPictureFacts& facts)
{
    const TNamedSize size = StatedSize(address, facts.width, facts.height);
    return {address, FileKindOf(address, !facts.thumbnail.isEmpty()), size.width > 0 ? size.width : -1,
            size.height > 0 ? size.height : -1, -1};
}

std::vector<bool> LargestCopies(const QList<QByteArray>& addresses, const QList<TPictureFacts>& facts)
{
    std::vector<bool> largest(size_t(addresses.size()), true);
    QList<TPictureCandidate> pictures;
    QList<qsizetype> rows;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const TPictureFacts& f = facts[i];
        if (FileKindOf(addresses[i], !f.thumbnail.isEmpty()) != TFileKind::Picture)
            continue;
        pictures.append({addresses[i], f.around, f.width, f.height});
        rows.append(i);
    }
    const QList<int> leaders = PictureGroupLeaders(pictures);
    for (qsizetype k = 0; k < rows.size(); ++k)
        largest[size_t(rows[k])] = leaders[k] == k;
    return largest;
}

std::optional<unsigned> KindsFromNames(const QString& names)
{
    static const struct {
        const char* name;
        TFileKind kind;
    } Known[] = {{"pictures", TFileKind::Picture}, {"video", TFileKind::Video},        {"audio", TFileKind::Audio},
                 {"archives", TFileKind::Archive}, {"documents", TFileKind::Document}, {"other", TFileKind::Other}};
    unsigned kinds = 0;
    for (const QString& part : names.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed().toLower();
        bool found = false;
        for (const auto& known : Known) {
            if (name == QLatin1String(known.name)) {
                kinds |= KindBit(known.kind);
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    if (kinds == 0)
        return std::nullopt;
    return kinds;
}

std::optional<std::pair<int, int>> PixelSizeFromText(const QString& text)
{
    static const QRegularExpression Size(QStringLiteral("^(\\d{1,6})(?:[xX](\\d{0,6}))?$"));
    const QRegularExpressionMatch match = Size.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair{match.captured(1).toInt(), match.captured(2).isEmpty() ? 0 : match.captured(2).toInt()};
}

TNamePattern::TNamePattern(const QString& text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('/')) && text.endsWith(QLatin1Char('/'))) {
        FExpression.setPattern(text.mid(1, text.size() - 2));
    } else if (!text.isEmpty()) {
        FGlob = true;
        FExpression.setPattern(
            QRegularExpression::wildcardToRegularExpression(text, QRegularExpression::DefaultWildcardConversion));
    }
    FValid = !FExpression.pattern().isEmpty() && FExpression.isValid();
    if (!FValid)
        FError = text.isEmpty() ? QStringLiteral("empty pattern") : FExpression.errorString();
}

bool TNamePattern::Matches(const QByteArray& address, const QByteArray& name) const
{
    if (!FValid)
        return false;
    const QString whole = QString::fromUtf8(address);
    if (!FGlob)
        return FExpression.match(whole).hasMatch();
    return FExpression.match(QString::fromUtf8(name)).hasMatch() || FExpression.match(whole).hasMatch();
}
