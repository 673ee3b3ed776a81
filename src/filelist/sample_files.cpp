#include "filelist/sample_files.h"

#include "filelist/entry_list.h"
#include "filelist/folder_walk.h"
#include "paths/path_routines.h"
#include "platform/desktop_shell.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "platform/services.h"
#include "settings/settings_keys.h"

#include <algorithm>
#include <exception>

namespace quillmere {
namespace {

// Our own key for the recorded sample list.
const QByteArray kSnapshotKey = QByteArrayLiteral("fenwicks");
const QChar kPathSeparator = QLatin1Char('|');

enum class Direction { Scramble, Unscramble };

QByteArray Shift(const QByteArray& codes, const QByteArray& key, EventLoop& events,
                 Direction direction) {
    QByteArray result;
    result.reserve(codes.size());
    qsizetype k = 0;
    for (const char code : codes) {
        events.doEvents();
        const int c = static_cast<unsigned char>(code);
        const int shift = static_cast<unsigned char>(key.at(k));
        k = (k + 1) % key.size();
        int s = 0;
        if (direction == Direction::Scramble) {
            s = c + shift;
            if (s >= 256) s -= 255;
        } else {
            s = c - shift;
            if (s <= 0) s += 255;
        }
        result.append(static_cast<char>(s));
    }
    return result;
}

// The Samples folder of the program folder, ending in a separator.
QString SamplesFolder(const Services& services) {
    return ProgramFile(services, "Samples") + Separator();
}

QStringList RecordedSampleFiles(Services& services) {
    const QString recorded = ReadSetting(services.settings, settings::kSnapshot);
    return UnscrambleText(recorded, kSnapshotKey, services.events).split(kPathSeparator);
}

void OfferSamplesFolder(Services& services) {
    if (!services.dialogs.ask(QStringLiteral(
            "Would you like this software to open the folder where these sample files are stored "
            "(so that you can view them before working with them)?")))
        return;
    const QString folder = SamplesFolder(services);
    // A desktop without a file manager opens nothing: the user is told where to look instead.
    if (!services.shell.openFolder(folder))
        services.dialogs.inform(
            QStringLiteral(
                "The folder where the sample files are stored could not be opened:\r\r") +
            folder);
}

}  // namespace

QByteArray ScrambleCodes(const QByteArray& codes, const QByteArray& key, EventLoop& events) {
    return Shift(codes, key, events, Direction::Scramble);
}

QByteArray UnscrambleCodes(const QByteArray& codes, const QByteArray& key, EventLoop& events) {
    return Shift(codes, key, events, Direction::Unscramble);
}

QString ScrambleText(const QString& text, const QByteArray& key, EventLoop& events) {
    return QString::fromLatin1(ScrambleCodes(text.toUtf8(), key, events));
}

QString UnscrambleText(const QString& text, const QByteArray& key, EventLoop& events) {
    for (const QChar character : text)
        if (character.unicode() > 255)
            throw Failure(errors::kInvalidArgument,
                          QStringLiteral("Invalid procedure call or argument"));
    return QString::fromUtf8(UnscrambleCodes(text.toLatin1(), key, events));
}

bool IsInList(const EntryList& list, const QString& text) {
    bool found = false;
    for (int i = 0; i < list.count(); ++i) found = list.text(i) == text || found;
    return found;
}

namespace {

// The files now in the program folder's Samples folder.
QStringList SampleFilesNow(Services& services) {
    const QString samples = SamplesFolder(services);
    QStringList paths;
    if (FolderExists(services.files, samples))
        for (const QString& name : ListFolderFiles(services.files, samples, QStringLiteral("*.*")))
            paths << samples + name;
    return paths;
}

void StoreSampleFiles(Services& services, const QStringList& paths) {
    WriteSetting(services.settings, settings::kSnapshot,
                 ScrambleText(paths.join(kPathSeparator), kSnapshotKey, services.events));
}

}  // namespace

void RecordSampleFiles(Services& services) {
    StoreSampleFiles(services, SampleFilesNow(services));
}

void LoadSampleFiles(EntryList& list, Services& services) {
    QStringList paths = RecordedSampleFiles(services);
    // None left where they were recorded: the program has moved, and its samples with it. When
    // the new record cannot be stored, the files are loaded all the same, and the failure is
    // reported at the end.
    std::exception_ptr unrecorded;
    if (std::none_of(paths.begin(), paths.end(),
                     [&](const QString& path) { return FileExists(services.files, path); })) {
        paths = SampleFilesNow(services);
        try {
            StoreSampleFiles(services, paths);
        } catch (const Failure&) {
            unrecorded = std::current_exception();
        }
    }
    for (const QString& path : paths)
        if (FileExists(services.files, path) && !IsInList(list, path)) list.append({path});
    OfferSamplesFolder(services);
    if (unrecorded) std::rethrow_exception(unrecorded);
}

}  // namespace quillmere
