// Adding files: the open dialog, dropped files and folders, the folder import and the samples.

#include "filelist/file_list_commands.h"

#include "controls/window_pointer.h"
#include "filelist/entry_list.h"
#include "filelist/folder_walk.h"
#include "filelist/list_validation.h"
#include "filelist/sample_files.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"
#include "settings/settings_keys.h"

#include <QTreeWidget>

namespace quillmere {
namespace {

OpenFilesRequest AddFilesRequest() {
    return {QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
            QString(),
            {QStringLiteral("MS Project Files (*.mpp)"),
             QStringLiteral("Project XML and MPX Files (*.xml *.mpx)"),
             QStringLiteral("All Files (*)")}};
}

// The pattern of the folder import: "*." and the extension as typed.
QString PatternFor(const QString& extension) {
    return QStringLiteral("*.") + extension;
}

// A long list is cut in the message and given whole in its details.
const qsizetype kLinksNamed = 10;

QString LinksNotFollowedText(const QStringList& links) {
    QString text = QStringLiteral(
        "These links were not followed: each leads out of the folder through a link of another "
        "user, which may aim at a file that only you may read.\r\r");
    text += QStringList(links.mid(0, kLinksNamed)).join(QLatin1Char('\r'));
    if (links.size() > kLinksNamed)
        text +=
            QStringLiteral("\r... and %1 more (see the details).").arg(links.size() - kLinksNamed);
    return text;
}

}  // namespace

QStringList FileListCommands::importFolder(const QString& folder, const QString& pattern) {
    QStringList notFollowed;
    WalkContext walk{m_services.files, m_services.events, m_report, kNativePathStyle};
    walk.linksNotFollowed = &notFollowed;
    AddFolderTree(walk, *m_entries, folder, pattern);
    return notFollowed;
}

void FileListCommands::sayLinksNotFollowed(const QStringList& links) {
    if (links.isEmpty()) return;
    m_services.dialogs.inform(LinksNotFollowedText(links), links.size() > kLinksNamed
                                                               ? links.join(QLatin1Char('\n'))
                                                               : QString());
}

void FileListCommands::ValidateListFiles() {
    quillmere::ValidateListFiles(*m_entries, m_services.dialogs, m_report);
}

void FileListCommands::PushButton3_Click() {
    Guard g(m_report, locations::kAddProjectFiles);
    QString chosen;
    bool tooMany = false;
    g.step(100, [&] {
        try {
            chosen = m_services.dialogs.openFiles(AddFilesRequest());
        } catch (const Failure& failure) {
            if (failure.number() != errors::kTooManyFiles) throw;
            tooMany = true;
        }
    });
    if (tooMany) {
        m_services.dialogs.inform(
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                           "\"Add All\" button."));
        return;
    }
    if (!g.test(102, [&] { return chosen.isEmpty(); })) {
        QStringList parts;
        g.step(104, [&] { parts = chosen.split(QChar(0)); });
        if (g.test(106, [&] { return parts.size() == 1; })) {
            g.step(108, [&] { m_entries->append({parts[0]}); });
        } else {
            // The first piece is the folder; a drive root ends in a separator, which
            // NormalizePath folds. Without a folder, each piece is a full path.
            for (qsizetype i = 1; i < parts.size(); ++i)
                g.step(112, [&] {
                    m_entries->append({parts[0].isEmpty()
                                           ? parts[i]
                                           : NormalizePath(parts[0] + Separator() + parts[i])});
                });
        }
    }
    g.step(114, [&] { ValidateListFiles(); });
}

void FileListCommands::ListView1_OLEDragDrop(const QStringList& paths) {
    // A failure with one dropped entry is reported, and the next entry follows.
    Guard g(m_report, locations::kDropOnList);
    QStringList notFollowed;
    for (const QString& path : paths) {
        g.step(100, [&] {
            // A folder is imported whole, all files of it and its subfolders.
            if (FolderExists(m_services.files, path))
                notFollowed << importFolder(path, QStringLiteral("*.*"));
            else
                m_entries->append({path});
        });
    }
    g.step(102, [&] {
        sayLinksNotFollowed(notFollowed);
        ValidateListFiles();
    });
}

void FileListCommands::PushButton6_Click() {
    Guard g(m_report, locations::kAddFolder);
    std::optional<QString> answer;
    g.step(100, [&] {
        answer = m_services.dialogs.prompt(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            ReadSetting(m_services.settings, settings::kExtension));
    });
    if (g.test(102, [&] { return answer && !answer->isEmpty(); })) {
        g.step(104, [&] {
            WriteSetting(m_services.settings, settings::kExtension, answer.value_or(QString()));
        });
    } else {
        g.step(106, [&] { ValidateListFiles(); });
        return;
    }
    QString folder;
    g.step(108, [&] {
        const QString last = ReadSetting(m_services.settings, settings::kLastFolder);
        folder = m_services.dialogs.browseFolder(QStringLiteral("Please select folder:"),
                                                 FolderOrHome(m_services.files, last));
    });
    if (g.test(110, [&] { return folder.isEmpty(); })) {
        g.step(112, [&] { ValidateListFiles(); });
        return;
    }
    QString remembered;
    g.step(333, [&] { remembered = folder; });
    g.step(334, [&] { WriteSetting(m_services.settings, settings::kLastFolder, remembered); });
    g.step(114, [&] { c.pointer->set(WindowPointer::Shape::Hourglass); });
    QStringList notFollowed;
    g.step(116,
           [&] { notFollowed = importFolder(folder, PatternFor(answer.value_or(QString()))); });
    g.step(118, [&] {
        c.pointer->set(WindowPointer::Shape::Default);
        sayLinksNotFollowed(notFollowed);
    });
    g.step(120, [&] { ValidateListFiles(); });
}

void FileListCommands::PushButton8_Click() {
    // The samples are ours: no extension check follows.
    Guard g(m_report, locations::kLoadSamples);
    g.step(100, [&] { LoadSampleFiles(*m_entries, m_services); });
}

}  // namespace quillmere
