// IdButton and BuddyLabel.
#include "gateway/console/page_widgets.h"

#include <QLabel>
#include <QPushButton>

namespace console {

QPushButton* IdButton(const char* text, const char* id, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(id);
  return button;
}

QLabel* BuddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace console
