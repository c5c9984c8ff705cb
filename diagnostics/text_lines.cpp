// Whole-line reads through a fixed piece buffer.
#include "diagnostics/text_lines.h"

#include <algorithm>
#include <cstring>

namespace diagnostics {

bool ReadLine(std::FILE* file, std::string* line) {
  line->clear();
  char piece[1024];
  bool read_any = false;
  while (std::fgets(piece, sizeof piece, file) != nullptr) {
    read_any = true;
    size_t length = std::strlen(piece);
    if (line->size() < kMaxLineLength) {
      line->append(piece, std::min(length, kMaxLineLength - line->size()));
    }
    if (length > 0 && piece[length - 1] == '\n') {
      if (line->back() != '\n') line->push_back('\n');
      break;
    }
  }
  return read_any;
}

}  // namespace diagnostics
