// The About page: the product's name and version, and four buttons that open our own pages
// (product information, technical support, home page, help) in the desktop's browser.
// Qt thread only.
#pragma once

#include <string>

#include "gateway/console/console_page.h"

namespace console {

inline constexpr char kE10033[] =
    "E-10033: The default browser could not be determined.\nPlease point your browser to ";

// The control ids of the four buttons and the page each opens (in "help" beside the program).
inline constexpr int kProductInfoButton = 1095;
inline constexpr int kSupportButton = 1097;
inline constexpr int kHomePageButton = 1098;
inline constexpr int kHelpButton = 1099;

// The file URL a button opens; "" for another id.
[[nodiscard]] std::string AboutPageUrl(int button_id);
// Opens url in the browser; without one, E-10033 followed by the url. 0 or -1.
int OpenInBrowser(const std::string& url);

class AboutPage : public ConsolePage {
 public:
  explicit AboutPage(QWidget* parent);
};

}  // namespace console
