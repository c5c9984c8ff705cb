// The Connections page: one line per (service, client) pair with its live session count, kept
// up to date from the session notices, the bytes of the pair's sessions so far (read from the
// SessionRegistry every second), and "&Kill Connections" for the selected pair.
// Qt thread only; the page reads the SessionRegistry under its lock.
#pragma once

#include <Qt>
#include <cstdint>
#include <string>

#include "gateway/console/console_page.h"

class QListWidget;
class QPushButton;

namespace console {

// The item data role that holds a line's byte count (qlonglong); the item's text stays the
// three tab-separated fields Kill reads back.
inline constexpr int kConnectionBytesRole = Qt::UserRole + 1;
inline constexpr int kConnectionRefreshMs = 1000;

// The byte column's text: "812 B" below 10,000 bytes, then KB, MB, GB (of 1024) with one
// decimal.
[[nodiscard]] std::string ByteCountText(int64_t bytes);

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
  // Every pair's bytes so far, from the registry, into the lines shown.
  void RefreshBytes();
  [[nodiscard]] int FindPair(const std::string& service, const std::string& client) const;

  QListWidget* list_;
  QPushButton* kill_;
};

}  // namespace console
