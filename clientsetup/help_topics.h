// The utility's help: help context numbers mapped to our own HTML pages (installed in "help"
// beside the program) and opened with the desktop's browser. Used only by the GUI thread.
#pragma once

#include <string>

namespace clientsetup {

inline constexpr int kSetupHelpContext = 131174;

// The page (and anchor) for a context: "exchange.html", "pegasus.html", or
// "outfitter.html" with "#ctx<context>" for a control's popup context.
[[nodiscard]] std::string HelpPageFor(int context);
// The file URL of that page under help_dir.
[[nodiscard]] std::string HelpUrlFor(const std::string& help_dir, int context);
// Why the desktop cannot open a help page ("xdg-open is not installed", "no program is set
// to open web pages"), or "" when it can.
[[nodiscard]] std::string HelpOpenProblem();
// Opens the topic in the browser; when that cannot be done, says so with the page's address
// and returns false.
bool ShowHelpTopic(int context);

}  // namespace clientsetup
