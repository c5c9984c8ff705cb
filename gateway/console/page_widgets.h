// Small builders the pages share: a push button named by its control id, and a label whose
// mnemonic moves the focus to its buddy. Qt thread only.
#pragma once

class QLabel;
class QPushButton;
class QWidget;

namespace console {

[[nodiscard]] QPushButton* IdButton(const char* text, const char* id, QWidget* parent);
[[nodiscard]] QLabel* BuddyLabel(const char* text, QWidget* buddy, QWidget* parent);

}  // namespace console
