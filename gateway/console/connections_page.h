// The Connections page: one line per (service, client) pair with its live session count, kept
// up to date from the session notices, and "&Kill Connections" for the selected pair.
// Qt thread only; the page reads the SessionRegistry under its lock when it is created.
#pragma once

#include <string>

#include "gateway/console/console_page.h"

class QListWidget;
class QPushButton;

namespace console {

// "\t%d\t%s\t%s": count, service name, client address.
[[nodiscard]] std::string ConnectionLine(int count, const std::string& service,
                                         const std::string& client);
// Splits a line at its tabs. False for an empty or malformed line.
bool SplitConnectionLine(const std::string& line, int* count, std::string* service,
                         std::string* client);

class ConnectionsPage : public ConsolePage {
 public:
  explicit ConnectionsPage(QWidget* parent);
  void OnSessionNotice(bool added, const engine::SessionNotice& notice) override;
  // Ends the sessions of the selected pair; nothing when no line is selected.
  void KillSelected();
  [[nodiscard]] QListWidget* list() const { return list_; }

 private:
  void FillFromRegistry();
  [[nodiscard]] int FindPair(const std::string& service, const std::string& client) const;

  QListWidget* list_;
  QPushButton* kill_;
};

}  // namespace console
