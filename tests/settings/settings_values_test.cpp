#include "settings/settings_values.h"

#include "platform/failure.h"
#include "platform/qt_settings_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace quillmere {
namespace {

TEST(SettingsValues, TextConversions) {
    const struct {
        const char* text;
        bool value;
    } booleans[] = {{"True", true}, {"false", false}, {"FALSE", false}, {"0", false},
                    {"-1", true},   {"2.5", true},    {" True ", true}};
    for (const auto& c : booleans) EXPECT_EQ(TextToBoolean(c.text), c.value) << c.text;
    for (const char* bad : {"yes", "", "1x"}) EXPECT_THROW(TextToBoolean(bad), Failure) << bad;

    const struct {
        const char* text;
        int value;
    } integers[] = {{"0", 0}, {"1", 1}, {" 7 ", 7}, {"1.5", 2}, {"2.5", 2}, {"-3", -3}};
    for (const auto& c : integers) EXPECT_EQ(TextToInteger(c.text), c.value) << c.text;
    for (const char* bad : {"one", "", "99999999999"})
        EXPECT_THROW(TextToInteger(bad), Failure) << bad;
}

TEST(SettingsValues, TypedReadsAndWrites) {
    QTemporaryDir dir;
    QtSettingsStore store(dir.filePath("s.ini"));
    EXPECT_TRUE(ReadBoolean(store, "Option1", true));
    EXPECT_EQ(ReadInteger(store, "TabControl1", 0), 0);
    WriteBoolean(store, "Option2", true);
    WriteInteger(store, "TabControl1", 1);
    EXPECT_EQ(store.read("Option2", ""), "True");
    EXPECT_TRUE(ReadBoolean(store, "Option2", false));
    EXPECT_EQ(ReadInteger(store, "TabControl1", 0), 1);
    store.write("Check2", "checked");
    try {
        ReadInteger(store, "Check2", 0);
        FAIL();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), 13);
    }
}

// A stored deadline that is missing, not a number or not positive gives the default.
TEST(SettingsValues, ProjectStepDeadline) {
    QTemporaryDir dir;
    QtSettingsStore store(dir.filePath("s.ini"));
    EXPECT_EQ(ProjectStepDeadline(store), std::chrono::seconds(600));
    const struct {
        const char* stored;
        long long seconds;
    } cases[] = {{"90", 90}, {" 3600 ", 3600}, {"0", 600}, {"-5", 600}, {"soon", 600}};
    for (const auto& c : cases) {
        store.write("Project Step Seconds", c.stored);
        EXPECT_EQ(ProjectStepDeadline(store).count(), c.seconds) << c.stored;
    }
}

}  // namespace
}  // namespace quillmere
