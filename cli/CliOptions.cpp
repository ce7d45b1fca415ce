#include "cli/CliOptions.h"

#include "Version.h"
#include "rules/FileChoice.h"

namespace {
// Named limits on numbers a user gives: a slot count and a sane number of tries.
constexpr int MaxHostConnections = 8;
constexpr int MaxRetries = 100;

std::optional<qint64> Number(const QString& text, qint64 least, qint64 most)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < least || value > most)
        return std::nullopt;
    return value;
}
}  // namespace

TCliParse ParseCommandLine(const QStringList& args)
{
    TCliParse parse;
    TCliOptions& o = parse.Options;
    bool listed = false, exported = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
        }
        // The option's value: after "=" or the next argument.
        const auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        const auto fail = [&](const QString& why) {
            parse.Error = why;
            return parse;
        };
        const auto missing = [&] { return fail(QStringLiteral("option %1 needs a value").arg(arg)); };

        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.Action = TCliAction::Help;
            return parse;
        }
        if (arg == QLatin1String("-V") || arg == QLatin1String("--version")) {
            o.Action = TCliAction::Version;
            return parse;
        }
        if (arg == QLatin1String("--")) {
            o.Urls += args.mid(i + 1);
            break;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            o.Urls.append(arg);
            continue;
        }
        const bool flag = !inlineValue.has_value();
        static const QStringList Valued{"-d",        "--directory", "--type",     "--select",
                                        "--host",    "--min-bytes", "--min-size", "--connections-per-host",
                                        "--retries", "--export",    "--aria2",    "--aria2-secret"};
        std::optional<QString> v;
        if (Valued.contains(arg)) {
            v = value();
            if (!v)
                return missing();
        }
        if (flag && arg == QLatin1String("--list"))
            listed = true;
        else if (flag && arg == QLatin1String("--json"))
            o.Json = true;
        else if (flag && arg == QLatin1String("--no-config"))
            o.NoConfig = true;
        else if (flag && arg == QLatin1String("--modern"))
            o.Modern = true;
        else if (flag && arg == QLatin1String("--classic"))
            o.Modern = false;
        else if (flag && arg == QLatin1String("--one-level-up"))
            o.OneLevelUp = true;
        else if (flag && arg == QLatin1String("--parse-links"))
            o.ParseLinks = true;
        else if (flag && arg == QLatin1String("--largest-only"))
            o.LargestOnly = true;
        else if (flag && arg == QLatin1String("--skip-existing"))
            o.SkipExisting = true;
        else if (flag && arg == QLatin1String("--rename"))
            o.SkipExisting = false;
        else if (flag && arg == QLatin1String("--history"))
            o.History = true;
        else if (flag && arg == QLatin1String("--wait"))
            o.Wait = true;
        else if (arg == QLatin1String("-d") || arg == QLatin1String("--directory")) {
            if (v->isEmpty())
                return missing();
            o.Directory = *v;
        } else if (arg == QLatin1String("--type")) {
            const std::optional<unsigned> kinds = KindsFromNames(*v);
            if (!kinds)
                return fail(
                    QStringLiteral("--type takes pictures, video, audio, archives, documents or other: %1").arg(*v));
            o.Kinds = *kinds;
        } else if (arg == QLatin1String("--select")) {
            const TNamePattern pattern(*v);
            if (!pattern.IsValid())
                return fail(QStringLiteral("--select %1: %2").arg(*v, pattern.Error()));
            o.Select = *v;
        } else if (arg == QLatin1String("--host")) {
            if (v->isEmpty())
                return missing();
            o.Host = v->toLower();
        } else if (arg == QLatin1String("--min-bytes")) {
            const auto n = Number(*v, 0, std::numeric_limits<qint64>::max());
            if (!n)
                return fail(QStringLiteral("--min-bytes takes a number of bytes: %1").arg(*v));
            o.MinBytes = *n;
        } else if (arg == QLatin1String("--min-size")) {
            const auto size = PixelSizeFromText(*v);
            if (!size)
                return fail(QStringLiteral("--min-size takes WIDTHxHEIGHT: %1").arg(*v));
            o.MinWidth = size->first;
            o.MinHeight = size->second;
        } else if (arg == QLatin1String("--connections-per-host")) {
            const auto n = Number(*v, 1, MaxHostConnections);
            if (!n)
                return fail(QStringLiteral("--connections-per-host takes 1 to %1: %2").arg(MaxHostConnections).arg(*v));
            o.HostConnections = int(*n);
        } else if (arg == QLatin1String("--retries")) {
            const auto n = Number(*v, 0, MaxRetries);
            if (!n)
                return fail(QStringLiteral("--retries takes 0 to %1: %2").arg(MaxRetries).arg(*v));
            o.Retries = int(*n);
        } else if (arg == QLatin1String("--export")) {
            const std::optional<QString>& format = v;
            if (*format == QLatin1String("aria2"))
                o.ExportFormat = TExportFormat::Aria2;
            else if (*format == QLatin1String("wget"))
                o.ExportFormat = TExportFormat::Wget;
            else if (*format == QLatin1String("text"))
                o.ExportFormat = TExportFormat::Text;
            else
                return fail(QStringLiteral("--export takes aria2, wget or text: %1").arg(*format));
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--export %1 needs a file").arg(*format));
            o.ExportFile = args[++i];
            exported = true;
        } else if (arg == QLatin1String("--aria2")) {
            if (v->isEmpty())
                return missing();
            o.Aria2Urls.append(*v);
        } else if (arg == QLatin1String("--aria2-secret")) {
            o.Aria2Secret = *v;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(args[i]));
        }
    }
    if (o.Urls.isEmpty()) {
        parse.Error = QStringLiteral("no address given");
        return parse;
    }
    if (int(listed) + int(exported) + int(!o.Aria2Urls.isEmpty()) > 1) {
        parse.Error = QStringLiteral("--list, --export and --aria2 exclude each other");
        return parse;
    }
    if (o.Wait && o.Aria2Urls.isEmpty()) {
        parse.Error = QStringLiteral("--wait follows an --aria2 hand-off");
        return parse;
    }
    o.Action = listed            ? TCliAction::List
        : exported               ? TCliAction::Export
        : !o.Aria2Urls.isEmpty() ? TCliAction::Aria2
                                 : TCliAction::Download;
    return parse;
}

QString CliVersion() { return QStringLiteral("kelvorn-get " KELVORN_VERSION "\n"); }

QString CliUsage()
{
    return QStringLiteral("Usage: kelvorn-get [OPTIONS] URL...\n"
                          "Fetches each page, finds its links and downloads the files it links to.\n"
                          "\n"
                          "What to do (downloading is the default):\n"
                          "  -d, --directory DIR         download into DIR (default: the current directory)\n"
                          "      --list                  list the chosen files instead of downloading them\n"
                          "      --json                  one JSON object per line: items with --list, else events\n"
                          "      --export FORMAT FILE    write the chosen files as an input file for aria2, wget or\n"
                          "                              as plain text (FORMAT: aria2, wget, text)\n"
                          "      --aria2 URL             hand the files to the aria2 daemon at URL (JSON-RPC);\n"
                          "                              several --aria2 share the files between daemons\n"
                          "      --aria2-secret TOKEN    the daemons' RPC secret\n"
                          "      --wait                  follow the handed-off files to their end\n"
                          "\n"
                          "Finding links:\n"
                          "      --modern                find links as a browser does (modern pages)\n"
                          "      --classic               the classic link rules\n"
                          "      --one-level-up          also fetch and scan each page the main page links to\n"
                          "      --parse-links           then fetch and scan every listed page\n"
                          "\n"
                          "Choosing files (all by default):\n"
                          "      --type LIST             pictures, video, audio, archives, documents, other\n"
                          "      --select PATTERN        a glob on the name or address, or /REGEX/ on the address\n"
                          "      --host HOST             files of HOST or its subdomains only\n"
                          "      --min-bytes N           drop downloaded files smaller than N bytes\n"
                          "      --min-size WxH          pictures at least this large, where the page or the name\n"
                          "                              tells the size\n"
                          "      --largest-only          one copy of each picture: the largest\n"
                          "      --skip-existing         skip a file that is already in the directory\n"
                          "      --rename                download it under a free name instead\n"
                          "      --history               skip files downloaded before, and remember new ones\n"
                          "\n"
                          "Transfers:\n"
                          "      --connections-per-host N  at most N transfers to one host at a time (1-8;\n"
                          "                              default: the window's setting)\n"
                          "      --retries N             try a failed file up to N more times (default: 4\n"
                          "                              with --modern, as the window; else 0)\n"
                          "\n"
                          "      --no-config             ignore the window's settings file\n"
                          "  -h, --help                  show this help\n"
                          "  -V, --version               show the version\n"
                          "\n"
                          "Exit status: 0 every chosen file was brought home, 1 some failed, 2 bad usage.\n");
}
