// The process-wide message sink and the stderr sink used when there is no display.
#include "platform/admin_message.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

class StderrSink : public MessageSink {
 public:
  int Show(const std::string& caption, const std::string& text, MessageIcon,
           MessageButtons buttons) override {
    std::string line = text;
    for (char& c : line) {
      if (c == '\n') c = ' ';
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), line.c_str());
    return DefaultAnswer(buttons);
  }
};

StderrSink g_stderr_sink;
std::atomic<MessageSink*> g_sink{&g_stderr_sink};

}  // namespace

MessageSink* SetMessageSink(MessageSink* sink) {
  return g_sink.exchange(sink ? sink : &g_stderr_sink);
}

int ShowAdminMessage(const std::string& caption, const std::string& text, MessageIcon icon,
                     MessageButtons buttons) {
  return g_sink.load()->Show(caption, text, icon, buttons);
}

int DefaultAnswer(MessageButtons buttons) {
  return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel ? kIdYes
                                                                                      : kIdOk;
}

}  // namespace platform
