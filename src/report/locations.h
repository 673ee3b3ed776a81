#pragma once

// The location texts that the error report prints, one per guarded procedure. They are fixed
// texts, written out here rather than assembled from names (note "Pushbutton7_Click" with a
// lower-case b, and the folder walk's own tag).
namespace quillmere::locations {

inline constexpr char kFormLoad[] = "in Tarnwick2021/08/31.Form1.Form_Load ";
inline constexpr char kStartReplacing[] = "in Tarnwick2021/08/31.Form1.Pushbutton7_Click ";
inline constexpr char kBrowseOutputFolder[] = "in Tarnwick2021/08/31.Form1.PushButton14_Click ";
inline constexpr char kClearList[] = "in Tarnwick2021/08/31.Form1.PushButton2_Click ";
inline constexpr char kAddProjectFiles[] = "in Tarnwick2021/08/31.Form1.PushButton3_Click ";
inline constexpr char kDropOnList[] = "in Tarnwick2021/08/31.Form1.ListView1_OLEDragDrop ";
inline constexpr char kAddFolder[] = "in Tarnwick2021/08/31.Form1.PushButton6_Click ";
inline constexpr char kFolderWalk[] = "in Corvath2021/08/31.AddFolder.GetSubDirectories2016 ";
inline constexpr char kValidateListFiles[] = "in Tarnwick2021/08/31.Main.ValidateListFiles ";
inline constexpr char kLoadSamples[] = "in Tarnwick2021/08/31.Form1.PushButton8_Click ";
inline constexpr char kAddSet[] = "in Tarnwick2021/08/31.Form1.PushButton1_Click ";
inline constexpr char kRemoveSet[] = "in Tarnwick2021/08/31.Form1.PushButton4_Click ";
inline constexpr char kClearSets[] = "in Tarnwick2021/08/31.Form1.PushButton5_Click ";
inline constexpr char kSaveSets[] = "in Tarnwick2021/08/31.Form1.PushButton9_Click ";
inline constexpr char kLoadSets[] = "in Tarnwick2021/08/31.Form1.PushButton10_Click ";
inline constexpr char kLoadSetsOpen[] = "in Tarnwick2021/08/31.Form2.Form_Load ";
inline constexpr char kLoadSetsLoad[] = "in Tarnwick2021/08/31.Form2.PushButton1_Click ";
inline constexpr char kLoadSetsBrowse[] = "in Tarnwick2021/08/31.Form2.PushButton16_Click ";
inline constexpr char kLoadSetsCancel[] = "in Tarnwick2021/08/31.Form2.PushButton2_Click ";
inline constexpr char kLoadSetsHelp[] = "in Tarnwick2021/08/31.Form2.PushButton3_Click ";
inline constexpr char kReplaceByFileXY[] = "in Tarnwick2021/08/31.MSProject1.ReplaceByFileXY ";
inline constexpr char kReplaceByFileXYCombo[] =
    "in Tarnwick2021/08/31.MSProject1.ReplaceByFileXYCombo ";

}  // namespace quillmere::locations
