// Test fake for the administrator message sink: records every message and answers with a
// preset button. Installs itself for its lifetime. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/admin_message.h"

namespace platform::testing {

struct RecordedMessage {
  std::string caption;
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
};

class MessageRecorder : public MessageSink {
 public:
  explicit MessageRecorder(int answer = 0 /* 0: the default button */);
  ~MessageRecorder() override;
  int Show(const std::string& caption, const std::string& text, MessageIcon icon,
           MessageButtons buttons) override;
  [[nodiscard]] std::vector<RecordedMessage> messages() const;
  [[nodiscard]] std::vector<std::string> texts() const;

 private:
  mutable std::mutex mu_;
  std::vector<RecordedMessage> messages_;
  int answer_;
  MessageSink* previous_;
};

}  // namespace platform::testing
