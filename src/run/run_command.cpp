// The Start command: walks the file list and hands each file to a replace pass.

#include "run/run_command.h"

#include "controls/progress_bar.h"
#include "controls/tab_control.h"
#include "controls/window_pointer.h"
#include "host/host.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/failure.h"
#include "project/host_checks.h"
#include "project/replace_passes.h"
#include "report/guard.h"
#include "report/locations.h"
#include "run/listed_files.h"
#include "run/output_path.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTreeWidget>

#include <cmath>

namespace quillmere {
namespace {

TextList ListOf(QComboBox* combo) {
    return {[combo] { return combo->count(); },
            [combo](int i) {
                if (i < 0 || i >= combo->count())
                    throw Failure(errors::kInvalidIndex,
                                  QStringLiteral("Invalid property array index"));
                return combo->itemText(i);
            }};
}

QStringList EntriesOf(const QTreeWidget* list) {
    QStringList entries;
    entries.reserve(list->topLevelItemCount());
    for (int i = 0; i < list->topLevelItemCount(); ++i) entries << list->topLevelItem(i)->text(0);
    return entries;
}

// Keeps the listed files current while the run yields: every change of the list's model
// makes them read again.
struct ListWatch {
    ListWatch(QTreeWidget* list, ListedFiles& listed) {
        QAbstractItemModel* model = list->model();
        const auto stale = [&listed] { listed.invalidate(); };
        connections = {QObject::connect(model, &QAbstractItemModel::rowsInserted, stale),
                       QObject::connect(model, &QAbstractItemModel::rowsRemoved, stale),
                       QObject::connect(model, &QAbstractItemModel::rowsMoved, stale),
                       QObject::connect(model, &QAbstractItemModel::dataChanged, stale),
                       QObject::connect(model, &QAbstractItemModel::modelReset, stale),
                       QObject::connect(model, &QAbstractItemModel::layoutChanged, stale)};
    }
    ~ListWatch() {
        for (const auto& connection : connections) QObject::disconnect(connection);
    }
    QList<QMetaObject::Connection> connections;
};

// Clears the busy flag on every way out (the command's last step), the program's end included.
struct BusyScope {
    bool& busy;
    ~BusyScope() { busy = false; }
};

// A run that ends early (the window closed while it yielded) still puts the results it saved
// on disk; a run that reaches its end syncs before it says "Done.".
struct SyncScope {
    HostFactory& hosts;
    bool synced = false;
    void sync() {
        synced = true;
        hosts.syncSaves();
    }
    ~SyncScope() {
        if (synced) return;
        try {
            hosts.syncSaves();
        } catch (const Failure&) {
            // Nothing is left to tell it to.
        }
    }
};

// The user gave up waiting for another run: the run ends with the file it was at.
struct WaitGivenUp {};

// While the host waits for another run, the progress text says so and the window stays live; a
// second press of Start during the wait sets gaveUp, and the run ends. The text is the file's
// again once the wait is over.
class WaitingShown {
  public:
    WaitingShown(HostFactory& hosts, ProgressBar& bar, EventLoop& events, bool& waiting,
                 bool& gaveUp)
        : m_hosts(hosts) {
        gaveUp = false;
        m_hosts.setWhileWaiting([&bar, &events, &waiting, &gaveUp](const QString& why) {
            const Restore restore{bar, bar.text(), waiting};
            bar.setText(why + QStringLiteral(" Press Start Replacing to give up."));
            waiting = true;
            events.doEvents();
            if (gaveUp) throw WaitGivenUp{};
            return true;
        });
    }
    ~WaitingShown() { m_hosts.setWhileWaiting({}); }
    WaitingShown(const WaitingShown&) = delete;
    WaitingShown& operator=(const WaitingShown&) = delete;

  private:
    // What one yield of the wait changed, put back on every way out of it.
    struct Restore {
        ProgressBar& bar;
        QString text;
        bool& waiting;
        ~Restore() {
            bar.setText(text);
            waiting = false;
        }
    };
    HostFactory& m_hosts;
};

}  // namespace

int CheckBoxValue(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void RunCommand::start() {
    if (m_waitingForHost) {
        m_gaveUpWaiting = true;
        return;
    }
    Guard g(m_account, locations::kStartReplacing);
    if (g.endsIf(100, [&] { return m_busy; })) return;
    g.step(102, [&] {
        m_busy = true;
        m_account.clear();
    });
    BusyScope scope{m_busy};
    if (g.test(104, [&] { return !outputSettingUsable(); })) {
        g.step(160, [&] {
            m_services.dialogs.inform(
                noOutputOption()
                    ? QStringLiteral("Please choose where to save the results.")
                    : QStringLiteral("Folder does not exist. Please select another folder."));
        });
        return;
    }
    if (g.test(106, [&] { return c.ListView1->topLevelItemCount() == 0; })) {
        g.step(158, [&] { m_services.dialogs.inform(QStringLiteral("No files added.")); });
        return;
    }
    if (g.test(108, [&] { return AbortForOpenProject(m_services.hosts, m_services.dialogs); }))
        return;
    int fileCount = 0;
    g.step(110, [&] { fileCount = c.ListView1->topLevelItemCount(); });
    SyncScope results{m_services.hosts};
    const WaitingShown waiting(m_services.hosts, *c.ProgressBar1, m_services.events,
                               m_waitingForHost, m_gaveUpWaiting);
    ListedFiles listed(m_services.files, [this] { return EntriesOf(c.ListView1); });
    const ListWatch watch(c.ListView1, listed);
    try {
        for (int i = 1; i <= fileCount; ++i) {
            // Entries removed while the run yielded end the run at the list's current end.
            if (i > c.ListView1->topLevelItemCount()) break;
            replaceOneFile(g, i, listed);
        }
    } catch (const WaitGivenUp&) {
        m_account.fail(
            QStringLiteral("You gave up waiting for another run to finish with "
                           "Microsoft Project; the run ended here."));
        m_account.end(m_sourcePath, m_outputPath);
    }
    g.step(150, [&] { c.pointer->set(WindowPointer::Shape::Default); });
    g.step(152, [&] { c.ProgressBar1->setValue(0); });
    g.step(154, [&] { c.ProgressBar1->setText(QStringLiteral("Progress Bar")); });
    // Every result is on disk before the run says so; a failed sync is reported instead.
    g.step(156, [&] {
        results.sync();
        m_services.dialogs.inform(QStringLiteral("Done."), m_account.details());
    });
}

bool RunCommand::noOutputOption() const {
    return !c.Option1->isChecked() && !c.Option2->isChecked();
}

bool RunCommand::outputSettingUsable() {
    // Both conditions are evaluated, whichever holds.
    const bool folderExists = FolderExists(m_services.files, c.Text3->text());
    const bool besideSource = c.Option2->isChecked();
    if (noOutputOption()) return false;
    return folderExists || besideSource;
}

void RunCommand::replaceOneFile(Guard& g, int i, ListedFiles& listed) {
    m_account.begin();
    g.step(112, [&] { c.pointer->set(WindowPointer::Shape::Hourglass); });
    g.step(114, [&] { m_sourcePath = c.ListView1->topLevelItem(i - 1)->text(0); });
    // The host may read the next listed file while it works on this one.
    if (i < c.ListView1->topLevelItemCount())
        m_services.hosts.expect(c.ListView1->topLevelItem(i)->text(0));
    g.step(116, [&] {
        const double share = double(i) / double(c.ListView1->topLevelItemCount()) * 100.0;
        c.ProgressBar1->setValue(int(std::floor(share)));
    });
    g.step(118, [&] {
        c.ProgressBar1->setText(QStringLiteral("Processing: ") + GetFileName(m_sourcePath));
    });
    g.step(120, [&] { m_services.events.doEvents(); });
    bool haveOutput = true;
    if (g.test(122, [&] { return c.Option1->isChecked(); })) {
        g.step(124, [&] { m_outputPath = OutputInFolder(c.Text3->text(), m_sourcePath); });
    } else if (g.test(126, [&] { return c.Option2->isChecked(); })) {
        g.step(128, [&] { m_outputPath = OutputBesideSource(m_sourcePath); });
    } else {
        // With no output option the previous file's output path would be written over.
        haveOutput = false;
    }
    g.step(130, [&] { m_outputPath = NormalizePath(m_outputPath); });
    // A result never lands on a listed file, the source included: it takes the suffixed name.
    if (g.test(132, [&] {
            return LandsOnAListedFile(m_services.files, listed, m_sourcePath, m_outputPath);
        }))
        g.step(134, [&] { m_outputPath = ReplacedName(m_outputPath); });
    // Whatever failed above, and when even the suffixed name is taken by a listed file, nothing
    // is deleted or written: the file is skipped, and the report says why.
    // The list is asked again after the deletion's yield, in which files may have been added.
    const auto refuseAListedFile = [&] {
        const QString conflict =
            ResultConflict(m_services.files, listed, m_sourcePath, m_outputPath);
        if (!conflict.isEmpty()) throw Failure(errors::kFileAlreadyExists, conflict);
    };
    if (haveOutput && g.step(136, [&] {
            refuseAListedFile();
            ClearOutputPath(m_services.files, m_services.hosts, m_services.events, m_outputPath,
                            refuseAListedFile);
        }))
        runPass(g);
    g.step(146, [&] { c.pointer->set(WindowPointer::Shape::Hourglass); });
    // The output option was cleared while the run yielded: the file is left as it is.
    if (!haveOutput) m_account.fail(QStringLiteral("Please choose where to save the results."));
    m_account.end(m_sourcePath, haveOutput ? m_outputPath : QString());
}

void RunCommand::runPass(Guard& g) {
    const PassContext context{
        m_services.hosts, m_account, [this] { return CheckBoxValue(c.Check2); },
        [this](const QString& field, int changed) { m_account.replaced(field, changed); },
        [this](const QString& why) { m_account.noted(why); }};
    if (g.test(138, [&] { return c.TabControl1->currentIndex() == 0; })) {
        g.step(140, [&] {
            ReplaceByFileXY(context, m_sourcePath, c.Text1->toPlainText(), c.Text2->toPlainText(),
                            m_outputPath);
        });
    } else if (g.test(142, [&] { return c.TabControl1->currentIndex() == 1; })) {
        g.step(144, [&] {
            ReplaceByFileXYCombo(context, m_sourcePath, ListOf(c.Combo1), ListOf(c.Combo2),
                                 m_outputPath);
        });
    }
}

}  // namespace quillmere
