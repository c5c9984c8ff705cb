// The fixed texts of Lookout: its dialog strings, the report's messages and headings.
// Constants only; any thread.
#pragma once

namespace diagnostics {

inline constexpr char kDialogCaption[] = "Wayfarer Diagnostics";
inline constexpr char kDialogText[] =  // string 116
    "This utility stores information about your internet clients in a text file chosen by "
    "you.\nPress OK to choose the file and store the diagnostic information.\nEmail or fax it "
    "to Wayfarer Computer Products Ltd.";
inline constexpr char kAboutMenuText[] = "&About Lookout...";  // string 101
inline constexpr char kAboutCaption[] = "About Lookout";
inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kProgramCaption[] = "Lookout";

inline constexpr char kReportHeading[] = "Diagnostic File Created by Wayfarer\n\n";

inline constexpr char kE102[] = "E 102 : Could not open log file";
inline constexpr char kE104[] = "E 104 : Could not open hosts file.";
inline constexpr char kE105[] = "E 105 : Could not read Value in registry";
inline constexpr char kE106[] = "E 106 : Could not open Key in registry for reading";
inline constexpr char kE109[] = "E 109 : Registry Key is Invalid";
inline constexpr char kE110[] = "E 110 : Registry is Corrupt";
inline constexpr char kE111[] = "E 111 : Reggistry Input/Output failed";
inline constexpr char kE112[] = "E 112 : Unown Error reading registry";
inline constexpr char kE113[] = "E 113 : Could not open INI file for reading.";
inline constexpr char kE114[] = "E 114 : Could not obtain permission to read registry.";
inline constexpr char kE115[] =
    "E 115 : The data read from the registry was of unexpected              length";
inline constexpr char kE117[] = "E 117 : Could not open js file for reading.";
inline constexpr char kE118[] = "E 118 : Could not assimilate network adapter information.";
inline constexpr char kSnmpInitFailed[] = "SnmpExtensionInit Failed";

}  // namespace diagnostics
