// The exception dialog's layout and OK.
#include "gateway/console/cache_exception_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gateway/console/number_edit.h"
#include "gateway/web/cache_exception_edit.h"
#include "gateway/web/cache_page_rules.h"

namespace console {
namespace {

// Radio buttons in unit order 1, 2, 3 with their control ids.
constexpr const char* kUnitIds[] = {"ctl1107", "ctl1105", "ctl1106"};

}  // namespace

CacheExceptionDialog::CacheExceptionDialog(const std::string& host, int count,
                                           const std::string& unit_text, QWidget* parent)
    : QDialog(parent), unit_text_(unit_text) {
  setObjectName("CacheExceptionDialog");
  setWindowTitle("Cache Exception");
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("URL", this), 0, 0);
  host_edit_ = new QLineEdit(QString::fromStdString(host), this);
  host_edit_->setObjectName("ctl1116");
  grid->addWidget(host_edit_, 0, 1);
  auto* group = new QGroupBox("Time to live", this);
  auto* row = new QHBoxLayout(group);
  count_edit_ = new NumberEdit(0, web::kMaxExceptionCount, group);
  count_edit_->setObjectName("ctl1117");
  count_edit_->setValue(count);
  row->addWidget(count_edit_);
  const int unit = web::TtlUnitOfText(unit_text);
  for (int i = 0; i < 3; ++i) {
    units_[i] = new QRadioButton(web::TtlUnitText(i + 1), group);
    units_[i]->setObjectName(kUnitIds[i]);
    units_[i]->setChecked(unit == i + 1);
    row->addWidget(units_[i]);
  }
  grid->addWidget(group, 1, 0, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ctl1");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("ctl2");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 2, 0, 1, 2);
}

void CacheExceptionDialog::accept() {
  web::ExceptionForm form{host_edit_->text().toStdString(), count_edit_->Text(), web::kTtlDays};
  int count = 0;
  if (web::CheckExceptionForm(form, &count) != 0) return;
  host_ = form.host;
  count_ = count;
  for (int i = 0; i < 3; ++i) {
    if (units_[i]->isChecked()) unit_text_ = web::TtlUnitText(i + 1);
  }
  QDialog::accept();
}

}  // namespace console
