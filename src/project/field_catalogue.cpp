#include "project/field_catalogue.h"

namespace quillmere {
namespace {

std::array<QString, kFieldCount> MakeCatalogue() {
    const char* const names[kFieldCount] = {
        "Duration", "Actual Duration", "Assignment Delay", "Assignment Owner",
        "Baseline Duration", "Baseline1 Duration", "Baseline2 Duration", "Baseline3 Duration",
        "Baseline4 Duration", "Baseline5 Duration", "Baseline6 Duration", "Baseline7 Duration",
        "Baseline8 Duration", "Baseline9 Duration", "Baseline10 Duration",
        "Contact", "Cost Rate Table", "Deliverable Name", "Duration", "Duration Variance",
        "Duration1", "Duration2", "Duration3", "Duration4", "Duration5", "Duration6",
        "Duration7", "Duration8", "Duration9", "Duration10",
        "Error Message", "Finish Slack", "Finish Variance", "Free Slack", "Hyperlink",
        "Hyperlink Address", "Hyperlink Href", "Hyperlink SubAddress", "Leveling Delay", "Name",
        "Notes",
        "Outline Code1", "Outline Code2", "Outline Code3", "Outline Code4", "Outline Code5",
        "Outline Code6", "Outline Code7", "Outline Code8", "Outline Code9", "Outline Code10",
        "Outline Number", "Predecessors", "Project", "Remaining Duration", "Resource Group",
        "Resource Initials", "Resource Names", "Resource Phonetics", "Start Slack",
        "Start Variance", "Status Manager", "Subproject File", "Successors",
        "Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8", "Text9", "Text10",
        "Text11", "Text12", "Text13", "Text14", "Text15", "Text16", "Text17", "Text18", "Text19",
        "Text20", "Text21", "Text22", "Text23", "Text24", "Text25", "Text26", "Text27", "Text28",
        "Text29", "Text30",
        "Total Slack", "Unique ID Predecessors", "Unique ID Successors", "WBS",
        "WBS Predecessors", "WBS Successors",
    };
    std::array<QString, kFieldCount> catalogue;
    for (int k = 0; k < kFieldCount; ++k) catalogue[k] = QString::fromLatin1(names[k]);
    return catalogue;
}

}  // namespace

const std::array<QString, kFieldCount>& FieldCatalogue() {
    static const std::array<QString, kFieldCount> catalogue = MakeCatalogue();
    return catalogue;
}

}  // namespace quillmere
