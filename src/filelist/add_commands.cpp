// Adding files: the open dialog, dropped files and folders, and the folder import.

#include "filelist/entry_list.h"
#include "filelist/folder_walk.h"
#include "filelist/list_validation.h"
#include "platform/dialogs.h"
#include "platform/failure.h"
#include "platform/settings_store.h"
#include "run/path_routines.h"
#include "shell/form1.h"
#include "shell/guard.h"
#include "shell/locations.h"

#include <QTreeWidget>

namespace quillmere {
namespace {

const long kTooManyFiles = 20476;

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

}  // namespace

WalkContext Form1::walkContext() {
    return {m_services.files, m_services.events, m_report, kNativePathStyle};
}

void Form1::ValidateListFiles() {
    quillmere::ValidateListFiles(*m_entries, m_services.dialogs, m_report);
}

void Form1::PushButton3_Click() {
    Guard g(m_report, locations::kAddProjectFiles);
    QString chosen;
    bool tooMany = false;
    g.step(100, [&] {
        try {
            chosen = m_services.dialogs.openFiles(AddFilesRequest());
        } catch (const Failure& failure) {
            if (failure.number() != kTooManyFiles) throw;
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

void Form1::ListView1_OLEDragDrop(const QStringList& paths) {
    for (const QString& path : paths) {
        // A folder is imported whole, all files of it and its subfolders.
        if (FolderExists(m_services.files, path))
            AddFolderTree(walkContext(), *m_entries, path, QStringLiteral("*.*"));
        else
            m_entries->append({path});
    }
    ValidateListFiles();
}

void Form1::PushButton6_Click() {
    Guard g(m_report, locations::kAddFolder);
    std::optional<QString> answer;
    g.step(100, [&] {
        answer = m_services.dialogs.prompt(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            m_services.settings.read(QStringLiteral("Extension"), QStringLiteral("mpp")));
    });
    if (g.test(102, [&] { return answer && !answer->isEmpty(); })) {
        g.step(104, [&] {
            m_services.settings.write(QStringLiteral("Extension"), answer.value_or(QString()));
        });
    } else {
        g.step(106, [&] { ValidateListFiles(); });
        return;
    }
    QString folder;
    g.step(108, [&] {
        const QString last = m_services.settings.read(QStringLiteral("LastFolder"), QString());
        folder = m_services.dialogs.browseFolder(QStringLiteral("Please select folder:"), last);
    });
    if (g.test(110, [&] { return folder.isEmpty(); })) {
        g.step(112, [&] { ValidateListFiles(); });
        return;
    }
    QString remembered;
    g.step(333, [&] { remembered = folder; });
    g.step(334, [&] { m_services.settings.write(QStringLiteral("LastFolder"), remembered); });
    g.step(114, [&] { setPointer(Pointer::Hourglass); });
    g.step(116, [&] {
        AddFolderTree(walkContext(), *m_entries, folder, PatternFor(answer.value_or(QString())));
    });
    g.step(118, [&] { setPointer(Pointer::Default); });
    g.step(120, [&] { ValidateListFiles(); });
}

}  // namespace quillmere
