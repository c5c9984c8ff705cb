// The list shows each line's tab-separated fields in columns at the page's tab stops (16, 88
// and 168 dialog units) and its byte count at 248; the item text itself is the line, so Kill
// reads back what is shown.
#include "gateway/console/connections_page.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <map>
#include <utility>

namespace console {
namespace {

constexpr int kTabStopsDlu[] = {16, 88, 168};
constexpr int kBytesStopDlu = 248;

// Horizontal dialog units to pixels for the widget's font.
int DluToPixels(const QWidget* w, int dlu) {
  return dlu * w->fontMetrics().averageCharWidth() / 4;
}

class ColumnsDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStringList fields = opt.text.split('\t');
    opt.text.clear();
    const QWidget* view = opt.widget;
    view->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view);
    painter->save();
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                         : QPalette::Text));
    // fields[0] is what precedes the first tab (empty); the rest go to the stops in order.
    for (int i = 1; i < fields.size() && i <= 3; ++i) {
      QRect cell = opt.rect.adjusted(DluToPixels(view, kTabStopsDlu[i - 1]), 0, 0, 0);
      painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft, fields[i]);
    }
    const QVariant bytes = index.data(kConnectionBytesRole);
    if (bytes.isValid()) {
      QRect cell = opt.rect.adjusted(DluToPixels(view, kBytesStopDlu), 0, 0, 0);
      painter->drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
                        QString::fromStdString(ByteCountText(bytes.toLongLong())));
    }
    painter->restore();
  }
};

QWidget* Headings(QWidget* parent) {
  auto* row = new QWidget(parent);
  const char* texts[] = {"Sessions", "Service", "Client", "Bytes"};
  const int starts[] = {4, 88, 168, kBytesStopDlu};
  for (int i = 0; i < 4; ++i) {
    auto* label = new QLabel(texts[i], row);
    label->move(DluToPixels(parent, starts[i]), 0);
  }
  row->setFixedHeight(parent->fontMetrics().height() + 4);
  return row;
}

}  // namespace

std::string ByteCountText(int64_t bytes) {
  if (bytes < 10000) return std::to_string(bytes < 0 ? 0 : bytes) + " B";
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string ConnectionLine(int count, const std::string& service, const std::string& client) {
  return "\t" + std::to_string(count) + "\t" + service + "\t" + client;
}

bool SplitConnectionLine(const std::string& line, int* count, std::string* service,
                         std::string* client) {
  if (line.empty() || line[0] != '\t') return false;
  size_t second = line.find('\t', 1);
  if (second == std::string::npos) return false;
  size_t third = line.find('\t', second + 1);
  if (third == std::string::npos) return false;
  const std::string number = line.substr(1, second - 1);
  if (number.empty() || number.size() > 9 ||
      number.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *count = std::stoi(number);
  *service = line.substr(second + 1, third - second - 1);
  *client = line.substr(third + 1);
  return true;
}

ConnectionsPage::ConnectionsPage(QWidget* parent) : ConsolePage(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Headings(this));
  list_ = new QListWidget(this);
  list_->setObjectName("ctl1018");
  list_->setItemDelegate(new ColumnsDelegate(list_));
  layout->addWidget(list_);
  kill_ = new QPushButton("&Kill Connections", this);
  kill_->setObjectName("ctl1097");
  layout->addWidget(kill_, 0, Qt::AlignRight);
  connect(kill_, &QPushButton::clicked, this, [this] { KillSelected(); });
  FillFromRegistry();
  auto* refresh = new QTimer(this);
  connect(refresh, &QTimer::timeout, this, [this] { RefreshBytes(); });
  refresh->start(kConnectionRefreshMs);
}

void ConnectionsPage::FillFromRegistry() {
  list_->clear();
  engine::ForEachSessionLine([this](const engine::SessionLine& line) {
    auto* item = new QListWidgetItem(
        QString::fromStdString(ConnectionLine(line.count, line.service_name, line.client_address)));
    item->setData(kConnectionBytesRole, static_cast<qlonglong>(line.bytes));
    list_->addItem(item);
  });
}

void ConnectionsPage::RefreshBytes() {
  std::map<std::pair<std::string, std::string>, int64_t> bytes;
  engine::ForEachSessionLine([&bytes](const engine::SessionLine& line) {
    bytes[{line.service_name, line.client_address}] = line.bytes;
  });
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    int count = 0;
    std::string service, client;
    if (!SplitConnectionLine(item->text().toStdString(), &count, &service, &client)) continue;
    auto it = bytes.find({service, client});
    if (it == bytes.end()) continue;  // the notice of its end is on its way
    if (item->data(kConnectionBytesRole).toLongLong() != it->second) {
      item->setData(kConnectionBytesRole, static_cast<qlonglong>(it->second));
    }
  }
}

int ConnectionsPage::FindPair(const std::string& service, const std::string& client) const {
  for (int row = 0; row < list_->count(); ++row) {
    int count = 0;
    std::string s, c;
    if (SplitConnectionLine(list_->item(row)->text().toStdString(), &count, &s, &c) &&
        s == service && c == client) {
      return row;
    }
  }
  return -1;
}

// The notice carries the pair's count after the change, so the pair's line takes that count
// whatever count it shows now. A notice that was already queued when the page filled itself
// from the registry therefore corrects the line instead of adding a second one for the pair.
void ConnectionsPage::OnSessionNotice(bool /*added*/, const engine::SessionNotice& notice) {
  const int row = FindPair(notice.service_name, notice.client_address);
  const QString text = QString::fromStdString(
      ConnectionLine(notice.count, notice.service_name, notice.client_address));
  if (row < 0) {
    if (notice.count > 0) list_->addItem(text);
    return;
  }
  const bool was_selected = list_->currentRow() == row;
  QListWidgetItem* old = list_->takeItem(row);
  const QVariant bytes = old->data(kConnectionBytesRole);
  delete old;
  if (notice.count > 0) {
    auto* item = new QListWidgetItem(text);
    item->setData(kConnectionBytesRole, bytes);
    list_->insertItem(row, item);
    if (was_selected) list_->setCurrentRow(row);
  } else if (was_selected) {
    // The list would make a neighbour current; a Kill must never reach a line not chosen.
    list_->selectionModel()->clear();
  }
}

void ConnectionsPage::KillSelected() {
  QListWidgetItem* item = list_->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  int count = 0;
  std::string service, client;
  if (!SplitConnectionLine(item->text().toStdString(), &count, &service, &client)) return;
  // Nothing stays chosen: when the line goes, no other client's line may take its place
  // under the next click.
  list_->selectionModel()->clear();
  (void)engine::KillSession(client, service);
}

}  // namespace console
