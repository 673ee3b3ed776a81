#include "shell/options_commands.h"

#include "controls/tab_control.h"
#include "paths/path_routines.h"
#include "platform/dialogs.h"
#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"
#include "run/run_command.h"
#include "settings/settings_keys.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>

namespace quillmere {
namespace {

[[noreturn]] void InvalidPropertyValue() {
    throw Failure(errors::kInvalidPropertyValue, QStringLiteral("Invalid property value"));
}

// A check box value: 0 unchecked, 1 checked, 2 grayed.
void SetCheckBoxValue(QCheckBox* box, int value) {
    static constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    if (value < 0 || value > 2) InvalidPropertyValue();
    box->setCheckState(kStates[value]);
}

void SelectTab(TabControl* tabs, int index) {
    if (index < 0 || index >= tabs->count()) InvalidPropertyValue();
    tabs->setCurrentIndex(index);
}

// Choosing an option button clears the other; clearing one leaves none chosen, which only works
// outside the buttons' exclusive group.
void SetOption(QRadioButton* option, bool chosen) {
    if (chosen || !option->isChecked()) {
        option->setChecked(chosen);
        return;
    }
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

// Runs a change handler for Qt, which must see no exception.
template <typename Handler>
void Quietly(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception&) {
    }
}

}  // namespace

OptionsCommands::OptionsCommands(Services& services, ErrorReport& report,
                                 const OptionsControls& controls)
    : m_services(services), m_report(report), c(controls), m_connections(new QObject) {
    connectHandlers();
}

OptionsCommands::~OptionsCommands() = default;

void OptionsCommands::connectHandlers() {
    QObject* context = m_connections.get();
    QObject::connect(c.Check2, &QCheckBox::stateChanged, context,
                     [this] { Quietly([&] { Check2_Click(); }); });
    QObject::connect(c.TabControl1, &TabControl::currentChanged, context,
                     [this] { Quietly([&] { TabControl1_SelectedChanged(); }); });
    QObject::connect(c.Text3, &QLineEdit::textChanged, context,
                     [this] { Quietly([&] { Text3_Change(); }); });
    // An option button's click is its becoming chosen.
    QObject::connect(c.Option1, &QRadioButton::toggled, context, [this](bool chosen) {
        if (chosen) Quietly([&] { Option1_Click(); });
    });
    QObject::connect(c.Option2, &QRadioButton::toggled, context, [this](bool chosen) {
        if (chosen) Quietly([&] { Option2_Click(); });
    });
}

void OptionsCommands::restore(Guard& g) {
    SettingsStore& store = m_services.settings;
    g.step(136, [&] { SetCheckBoxValue(c.Check2, ReadSetting(store, settings::kCheck2)); });
    g.step(138, [&] { SelectTab(c.TabControl1, ReadSetting(store, settings::kTabControl1)); });
    g.step(140, [&] {
        c.Text3->setText(
            ReadSetting(store, settings::kOutputFolder, GetDesktopFolder(m_services.files)));
    });
    g.step(142, [&] { SetOption(c.Option1, ReadSetting(store, settings::kOption1)); });
    g.step(144, [&] { SetOption(c.Option2, ReadSetting(store, settings::kOption2)); });
    if (g.test(146, [&] { return c.Option1->isChecked(); }))
        g.step(148, [&] { c.Frame3->setEnabled(true); });
    else
        g.step(150, [&] { c.Frame3->setEnabled(false); });
}

void OptionsCommands::Check2_Click() {
    // A grayed box that the user clicks never returns to gray.
    if (c.Check2->checkState() != Qt::PartiallyChecked) c.Check2->setTristate(false);
    WriteSetting(m_services.settings, settings::kCheck2, CheckBoxValue(c.Check2));
}

void OptionsCommands::storeOutputOptions() {
    // The frame follows Option1 even when the store refuses a write.
    const auto settleFrame = qScopeGuard([&] { c.Frame3->setEnabled(c.Option1->isChecked()); });
    WriteSetting(m_services.settings, settings::kOption1, c.Option1->isChecked());
    WriteSetting(m_services.settings, settings::kOption2, c.Option2->isChecked());
}

void OptionsCommands::Text3_Change() {
    WriteSetting(m_services.settings, settings::kOutputFolder, c.Text3->text());
}

void OptionsCommands::TabControl1_SelectedChanged() {
    WriteSetting(m_services.settings, settings::kTabControl1, c.TabControl1->currentIndex());
}

void OptionsCommands::PushButton14_Click() {
    Guard g(m_report, locations::kBrowseOutputFolder);
    QString folder;
    g.step(100, [&] {
        m_lastFolder = ReadSetting(m_services.settings, settings::kLastFolderDot);
        folder = m_services.dialogs.browseFolder(QStringLiteral("Please select folder:"),
                                                 FolderOrHome(m_services.files, c.Text3->text()));
    });
    if (g.endsIf(102, [&] { return folder.isEmpty(); })) return;
    g.step(104, [&] {
        m_lastFolder = folder;
        WriteSetting(m_services.settings, settings::kLastFolderDot, m_lastFolder);
    });
    // A root comes with its separator; any other folder gets one.
    if (g.test(106, [&] { return !folder.endsWith(Separator()); }))
        g.step(108, [&] { c.Text3->setText(folder + Separator()); });
    else
        g.step(110, [&] { c.Text3->setText(folder); });
}

}  // namespace quillmere
