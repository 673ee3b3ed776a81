#include "filelist/list_validation.h"

#include "platform/failure.h"
#include "report/error_report.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

using testing::ScriptedDialogs;
using testing::VectorEntries;

TEST(ListValidation, TheExtensionMustOccurInTheAcceptedText) {
    const struct {
        const char* path;
        bool passes;
    } cases[] = {
        {"/p/a.mpp", true},
        {"/p/a.MPT", true},
        {"/p/a.Mpx", true},
        {"/p/a.mpd", true},
        {"/p/a.xml", true},
        {"/p/a.mppx", false},
        {"/p/a.mp", true},
        {"/p/a.px", true},
        {"/p/a.t", true},
        {"/p/plan.", true},
        {"plan", false},
        {"/p/a.txt", false},
        // The last "." of the whole path decides: these extensions are "2020\readme" and
        // "mpp\readme", and neither occurs in the accepted text.
        {R"(C:\plans.2020\readme)", false},
        {R"(C:\plans.mpp\readme)", false},
    };
    for (const auto& c : cases) EXPECT_EQ(HasProjectExtension(c.path), c.passes) << c.path;
}

class Validation : public ::testing::Test {
  protected:
    ScriptedDialogs dialogs;
    BoxErrorReport report{dialogs};
};

TEST_F(Validation, OffersToRemoveTheFailingEntriesHighestFirst) {
    VectorEntries list({"a.mpp", "b.txt", "c.mpp", "d.mpp", "e.doc", "f.xlsx", "g.mpx"});
    dialogs.setApplicationTitle("Quillmere");
    dialogs.expectMessage(
        "These files: \r\n\r\nb.txt\r\ne.doc\r\nf.xlsx\r\n\r\ndo not appear to be "
        "in the expected file format because of their file extension.\r\n\r\n"
        "Would you like to remove them from list?",
        Answer::Yes);
    ValidateListFiles(list, dialogs, report);
    EXPECT_EQ(list.removed, (QList<int>{5, 4, 1}));
    EXPECT_EQ(list.texts, (QStringList{"a.mpp", "c.mpp", "d.mpp", "g.mpx"}));
    EXPECT_EQ(dialogs.shown()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.shown()[0].caption, "Quillmere");
}

TEST_F(Validation, NoKeepsEverythingAndAskesAgainNextTime) {
    VectorEntries list({"a.txt", "b.mpp"});
    dialogs.expectMessage(std::nullopt, Answer::No).expectMessage(std::nullopt, Answer::No);
    ValidateListFiles(list, dialogs, report);
    ValidateListFiles(list, dialogs, report);
    EXPECT_EQ(list.texts, (QStringList{"a.txt", "b.mpp"}));
}

TEST_F(Validation, AnEmptyOrPassingListShowsNothing) {
    VectorEntries empty;
    ValidateListFiles(empty, dialogs, report);
    VectorEntries passing({"a.mpp", "b.xml"});
    ValidateListFiles(passing, dialogs, report);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(Validation, AnUnreadableEntryIsReportedAndLeftUnjudged) {
    class Broken : public VectorEntries {
      public:
        using VectorEntries::VectorEntries;
        QString text(int position) const override {
            if (position == 1) throw Failure(35600, "Index out of bounds");
            return VectorEntries::text(position);
        }
    } list(QStringList{"a.txt", "b.txt"});
    dialogs.allowErrorReports();
    dialogs.expectMessage(
        "These files: \r\n\r\na.txt\r\n\r\ndo not appear to be in the expected "
        "file format because of their file extension.\r\n\r\nWould you like to "
        "remove them from list?",
        Answer::Yes);
    ValidateListFiles(list, dialogs, report);
    EXPECT_EQ(dialogs.errorReportLines(), std::vector<int>{108});
    EXPECT_TRUE(dialogs.errorReports()[0].text.contains("Main.ValidateListFiles at line 108"));
    EXPECT_EQ(list.texts, QStringList{"b.txt"});
}

}  // namespace
}  // namespace quillmere
