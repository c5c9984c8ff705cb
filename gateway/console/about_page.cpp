// The About page's buttons and the browser fallback message.
#include "gateway/console/about_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "gateway/engine/gateway_app.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/shell_open.h"

namespace console {
namespace {

struct AboutButton {
  int id;
  const char* label;
  const char* page;
};

constexpr AboutButton kButtons[] = {
    {kProductInfoButton, "Product Information", "wayfarer-product.html"},
    {kSupportButton, "Technical Support and KnowledgeBase", "wayfarer-support.html"},
    {kHomePageButton, "Wayfarer Home Page", "wayfarer-home.html"},
    {kHelpButton, "Help", "wayfarer-help.html"},
};

}  // namespace

std::string AboutPageUrl(int button_id) {
  for (const auto& b : kButtons) {
    if (b.id == button_id) return "file://" + platform::ProgramDirectory() + "/help/" + b.page;
  }
  return "";
}

int OpenInBrowser(const std::string& url) {
  if (platform::ShellOpen(url) == 0) return 0;
  platform::ShowAdminMessage(engine::kAppCaption, kE10033 + url, platform::MessageIcon::kError);
  return -1;
}

AboutPage::AboutPage(QWidget* parent) : ConsolePage(parent) {
  auto* layout = new QGridLayout(this);
  auto* title = new QLabel("<b>Wayfarer</b> 2.0<br>Internet gateway for the office network", this);
  layout->addWidget(title, 0, 0, 1, 2);
  int row = 1;
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(b.label, this);
    button->setObjectName(QString("ctl%1").arg(b.id));
    layout->addWidget(button, row++, 0, 1, 2);
    const int id = b.id;
    connect(button, &QPushButton::clicked, this, [id] { (void)OpenInBrowser(AboutPageUrl(id)); });
  }
  layout->setRowStretch(row, 1);
}

}  // namespace console
