// NumberEdit.
#include "gateway/console/number_edit.h"

#include <algorithm>

namespace console {
namespace {

// What a typed value may be: wide enough for any mistake worth a message.
constexpr int kTypedLimit = 9999999;

}  // namespace

NumberEdit::NumberEdit(int low, int high, QWidget* parent)
    : QSpinBox(parent), low_(low), high_(high) {
  setRange(-kTypedLimit, kTypedLimit);
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setKeyboardTracking(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

void NumberEdit::stepBy(int steps) {
  setValue(std::clamp(value() + steps, low_, high_));
  selectAll();
}

}  // namespace console
