// The recording message sink.
#include "platform/testing/message_recorder.h"

namespace platform::testing {

MessageRecorder::MessageRecorder(int answer) : answer_(answer), previous_(SetMessageSink(this)) {}

MessageRecorder::~MessageRecorder() { SetMessageSink(previous_); }

int MessageRecorder::Show(const std::string& caption, const std::string& text, MessageIcon icon,
                          MessageButtons buttons) {
  std::lock_guard lock(mu_);
  messages_.push_back({caption, text, icon, buttons});
  return answer_ != 0 ? answer_ : DefaultAnswer(buttons);
}

std::vector<RecordedMessage> MessageRecorder::messages() const {
  std::lock_guard lock(mu_);
  return messages_;
}

std::vector<std::string> MessageRecorder::texts() const {
  std::lock_guard lock(mu_);
  std::vector<std::string> out;
  for (const auto& m : messages_) out.push_back(m.text);
  return out;
}

}  // namespace platform::testing
