#pragma once

#include <array>
#include <string_view>

/// The location texts that name each trapped procedure in the error report; users quote them
/// back to us, so they keep the old project words and the trailing space.
namespace loc {

struct Location {
  std::u16string_view procedure;
  std::u16string_view text;
};

inline constexpr std::array<Location, 14> kAll = {{
    {u"PushButton1_Click", u"in Quarnset2021/08/31.Form1.PushButton1_Click "},
    {u"SaveListviewProperlySpaced", u"in Quarnset2021/08/31.Main.SaveListviewProperlySpaced "},
    {u"PushButton10_Click", u"in Quarnset2021/08/31.Form1.PushButton10_Click "},
    {u"PushButton13_Click", u"in Quarnset2021/08/31.Form1.PushButton13_Click "},
    {u"PushButton5_Click", u"in Quarnset2021/08/31.Form1.PushButton5_Click "},
    {u"PushButton2_Click", u"in Quarnset2021/08/31.Form1.PushButton2_Click "},
    {u"PushButton3_Click", u"in Quarnset2021/08/31.Form1.PushButton3_Click "},
    {u"PushButton4_Click", u"in Quarnset2021/08/31.Form1.PushButton4_Click "},
    {u"Form_Load", u"in Quarnset2021/08/31.Form1.Form_Load "},
    {u"PushButton6_Click", u"in Quarnset2021/08/31.Form1.PushButton6_Click "},
    {u"PushButton7_Click", u"in Quarnset2021/08/31.Form1.PushButton7_Click "},
    {u"PushButton8_Click", u"in Quarnset2021/08/31.Form1.PushButton8_Click "},
    {u"PushButton9_Click", u"in Quarnset2021/08/31.Form1.PushButton9_Click "},
    {u"GetSubDirectories2016", u"in Pellivant2021/08/31.AddFolder.GetSubDirectories2016 "},
}};

inline constexpr std::u16string_view kPushButton1Click = kAll[0].text;            // save as text
inline constexpr std::u16string_view kSaveListviewProperlySpaced = kAll[1].text;  // text export
inline constexpr std::u16string_view kPushButton10Click = kAll[2].text;           // extraction
inline constexpr std::u16string_view kPushButton13Click = kAll[3].text;           // spreadsheet
inline constexpr std::u16string_view kPushButton5Click = kAll[4].text;            // clear results
inline constexpr std::u16string_view kPushButton2Click = kAll[5].text;            // "Old"
inline constexpr std::u16string_view kPushButton3Click = kAll[6].text;            // add folder
inline constexpr std::u16string_view kPushButton4Click = kAll[7].text;            // add files
inline constexpr std::u16string_view kFormLoad = kAll[8].text;                    // start-up
inline constexpr std::u16string_view kPushButton6Click = kAll[9].text;            // clipboard
inline constexpr std::u16string_view kPushButton7Click = kAll[10].text;           // clear list
inline constexpr std::u16string_view kPushButton8Click = kAll[11].text;           // samples
inline constexpr std::u16string_view kPushButton9Click = kAll[12].text;           // help
inline constexpr std::u16string_view kGetSubDirectories2016 = kAll[13].text;      // folder walk

}  // namespace loc
