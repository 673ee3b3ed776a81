#include "sets/set_commands.h"

#include "platform/dialogs.h"
#include "report/guard.h"
#include "report/locations.h"
#include "sets/form2.h"
#include "sets/set_file.h"
#include "sets/text_file.h"

#include <QComboBox>

#include <optional>

namespace quillmere {
namespace {

const QString kPairSeparator = QStringLiteral("::");

}  // namespace

SetCommands::SetCommands(Services& services, ErrorReport& report, const SetControls& controls)
    : m_services(services), m_report(report), c(controls) {
    ShowPairCounts(c);
}

void SetCommands::Pushbutton1_Click() {
    Guard g(m_report, locations::kAddSet);
    std::optional<QString> answer;
    g.step(100, [&] {
        answer = m_services.dialogs.prompt(
            QStringLiteral("Enter find and replace set (use :: to separate find text and replace "
                           "text):"),
            QStringLiteral("findwhat::replacewith"));
    });
    const QString text = answer.value_or(QString());
    if (g.endsIf(102, [&] { return text.isEmpty(); })) return;
    if (g.test(104, [&] { return text.contains(kPairSeparator); })) {
        SetPair pair;
        g.step(106, [&] { pair = SplitPair(text, kPairSeparator); });
        g.step(108, [&] { AppendFind(c, pair.find); });
        g.step(110, [&] { AppendReplacement(c, pair.replacement); });
        return;
    }
    g.step(112, [&] {
        m_services.dialogs.inform(
            QStringLiteral("You must use :: to separate the find text from the replace text"));
    });
}

void SetCommands::PushButton4_Click() {
    Guard g(m_report, locations::kRemoveSet);
    g.step(100, [&] { RemoveSelected(c.Combo1); });
    g.step(102, [&] { RemoveSelected(c.Combo2); });
}

void SetCommands::PushButton5_Click() {
    Guard g(m_report, locations::kClearSets);
    g.step(100, [&] { c.Combo1->clear(); });
    g.step(102, [&] { c.Combo2->clear(); });
}

void SetCommands::PushButton9_Click() {
    Guard g(m_report, locations::kSaveSets);
    // 100 to 106: no file name, the title and the two choices. The dialog never asks about an
    // existing file itself (SaveSetFile does) and adds no extension to a name typed without one.
    QString path;
    g.step(108, [&] {
        path = m_services.dialogs.saveFile(QStringLiteral("Save"), QString(),
                                           QStringLiteral("Text Files (*.txt);;All Files (*)"));
    });
    if (g.endsIf(112, [&] { return path.isEmpty(); })) return;
    g.step(114, [&] {
        SaveSetFile(m_services.files, m_services.dialogs, path, TextsOf(c.Combo1),
                    TextsOf(c.Combo2));
    });
}

void SetCommands::PushButton10_Click() {
    Guard g(m_report, locations::kLoadSets);
    g.step(100, [&] {
        Form2 dialog(m_services, m_report, c);
        dialog.Form_Load();
        m_services.dialogs.showModal(dialog);
    });
}

void SetCommands::Combo1_Click() {
    c.Combo2->setCurrentIndex(c.Combo1->currentIndex());
}

void SetCommands::Combo2_Click() {
    c.Combo1->setCurrentIndex(c.Combo2->currentIndex());
}

}  // namespace quillmere
