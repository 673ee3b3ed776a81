#include "batch/batch_options.h"

#include "paths/path_routines.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "sets/text_file.h"

#include <QCommandLineParser>
#include <QDir>

namespace quillmere {
namespace {

const QString kDefaultSeparator = QStringLiteral("::");

void AddOptions(QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        {"extension", "", "EXT"},
        {"find", "", "TEXT"},
        {"replace", "", "TEXT"},
        {"sets", "", "FILE"},
        {"separator", "", "SEP"},
        {"match-case", ""},
        {"out", "", "DIR"},
        {"json", ""},
        {"dry-run", ""},
        {"jobs", "", "N"},
        {{"h", "help"}, ""},
    });
}

QString Absolute(const QString& path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

// The one value of an option that may be given once; a second one is an error.
QString SingleValue(const QCommandLineParser& parser, const QString& name) {
    const QStringList values = parser.values(name);
    if (values.size() > 1) throw BatchUsageError{"give --" + name + " once"};
    return values.isEmpty() ? QString() : values.first();
}

// A PATH whose bytes are not valid UTF-8 names no file that can be opened: it is left out, to be
// told with the run's failures.
QStringList CheckedPaths(FileSystem& files, const QStringList& given,
                         const QHash<QString, QString>& undecoded, QStringList& undecodedPaths) {
    if (given.isEmpty()) throw BatchUsageError{QStringLiteral("give at least one PATH")};
    QStringList paths;
    for (const QString& path : given) {
        if (undecoded.contains(path)) {
            undecodedPaths << undecoded.value(path);
            continue;
        }
        const QString absolute = Absolute(path);
        if (!FileExists(files, absolute)) throw BatchUsageError{path + " not found"};
        // A device or a pipe would be read without end.
        if (!FolderExists(files, absolute) && (files.attributes(absolute) & attr::kDevice))
            throw BatchUsageError{path + " is not a file or a folder"};
        paths << absolute;
    }
    return paths;
}

// The pairs of the set file, as the Load Sets dialog reads them.
void ReadSets(FileSystem& files, const QString& path, const QString& separator,
              BatchOptions& options) {
    if (separator.isEmpty())
        throw BatchUsageError{QStringLiteral("You must enter separating character(s).")};
    if (!FileMatches(files, path)) throw BatchUsageError{path + " not found."};
    try {
        for (const SetPair& pair : ReadSetFile(files, path, separator)) {
            options.finds << pair.find;
            options.replacements << pair.replacement;
        }
    } catch (const Failure& failure) {
        throw BatchUsageError{failure.description()};
    }
}

void ReadPairs(FileSystem& files, const QCommandLineParser& parser, BatchOptions& options) {
    options.finds = parser.values("find");
    options.replacements = parser.values("replace");
    const QString sets = SingleValue(parser, "sets");
    const QString separator = SingleValue(parser, "separator");
    if (!parser.isSet("sets")) {
        if (parser.isSet("separator"))
            throw BatchUsageError{QStringLiteral("--separator goes with --sets")};
        if (options.finds.isEmpty() || options.finds.size() != options.replacements.size())
            throw BatchUsageError{QStringLiteral("give each --find a --replace, or --sets FILE")};
        return;
    }
    if (!options.finds.isEmpty() || !options.replacements.isEmpty())
        throw BatchUsageError{QStringLiteral("give --find and --replace, or --sets, not both")};
    ReadSets(files, Absolute(sets), parser.isSet("separator") ? separator : kDefaultSeparator,
             options);
}

QString CheckedOutFolder(FileSystem& files, const QCommandLineParser& parser) {
    const QString out = SingleValue(parser, "out");
    if (!parser.isSet("out")) return {};
    if (out.isEmpty() || !FolderExists(files, Absolute(out)))
        throw BatchUsageError{"--out " + out + ": folder does not exist"};
    return Absolute(out);
}

int Jobs(const QCommandLineParser& parser) {
    const QString text = SingleValue(parser, "jobs");
    if (!parser.isSet("jobs")) return 0;
    bool ok = false;
    const int jobs = text.toInt(&ok);
    if (!ok || jobs < 1) throw BatchUsageError{"--jobs " + text + ": give a number of 1 or more"};
    return jobs;
}

BatchOptions Parse(FileSystem& files, const QStringList& arguments,
                   const QHash<QString, QString>& undecoded) {
    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("batch")} + arguments))
        throw BatchUsageError{parser.errorText()};
    if (parser.isSet("help")) throw BatchUsageError{};
    BatchOptions options;
    options.extension = SingleValue(parser, "extension");
    if (parser.isSet("extension") && options.extension.isEmpty())
        throw BatchUsageError{QStringLiteral("give --extension an extension, or * for all files")};
    options.matchCase = parser.isSet("match-case");
    options.json = parser.isSet("json");
    options.dryRun = parser.isSet("dry-run");
    options.jobs = Jobs(parser);
    options.outFolder = CheckedOutFolder(files, parser);
    ReadPairs(files, parser, options);
    options.paths =
        CheckedPaths(files, parser.positionalArguments(), undecoded, options.undecodedPaths);
    return options;
}

}  // namespace

QString BatchUsage() {
    return QStringLiteral(
        "usage: quillmere-host batch [OPTIONS] PATH...\n"
        "  PATH               a project file, or a folder whose whole tree is walked\n"
        "  --extension EXT    the folders' files to take: *.EXT (* for all; default: the\n"
        "                     project extensions mpp, mpt, mpx, mpd and xml)\n"
        "  --find TEXT --replace TEXT\n"
        "                     a pair; repeat for more, applied in order\n"
        "  --sets FILE        the pairs of a set file instead, one per line\n"
        "  --separator SEP    the set file's separator (default ::)\n"
        "  --match-case       match letter case exactly\n"
        "  --out DIR          save the results into DIR (default: beside each source,\n"
        "                     as NAME_replaced.EXT)\n"
        "  --json             print the summary as JSON Lines\n"
        "  --dry-run          print the summary, write nothing\n"
        "  --jobs N           work on at most N files at once (default: one per core;\n"
        "                     Microsoft Project takes one at a time)\n"
        "exit status: 0 every file succeeded, 1 a file failed, 2 wrong arguments\n");
}

std::variant<BatchOptions, BatchUsageError> ParseBatchArguments(
    FileSystem& files, const QStringList& arguments, const QHash<QString, QString>& undecoded) {
    try {
        return Parse(files, arguments, undecoded);
    } catch (const BatchUsageError& error) {
        return error;
    }
}

}  // namespace quillmere
