// The gateway's messages to the administrator as Qt message boxes, titled with their caption.
// Installed by the console for the program's life. Show may be called from any thread: off
// the Qt thread the box is shown by the Qt thread and the caller waits for the answer, or
// until Close() (shut-down) answers every waiting caller with the default button.
#pragma once

#include <memory>

#include "platform/admin_message.h"

namespace console {

class QtMessageSink : public platform::MessageSink {
 public:
  QtMessageSink();
  ~QtMessageSink() override;
  int Show(const std::string& caption, const std::string& text, platform::MessageIcon icon,
           platform::MessageButtons buttons) override;
  // Ends every wait of other threads; later calls from them get the default answer.
  void Close();

  struct Waits;

 private:
  std::shared_ptr<Waits> waits_;  // shared with the boxes queued to the Qt thread
};

// The box itself, on the Qt thread, titled with the caption ("Wayfarer", or one of the
// password messages' own, e.g. "Incorrect Password"; an empty one gives "Wayfarer").
int ShowMessageBox(const std::string& caption, const std::string& text, platform::MessageIcon icon,
                   platform::MessageButtons buttons);

}  // namespace console
