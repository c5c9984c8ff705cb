// Messages to the administrator: one call with caption, text, icon and buttons.
// With the console it is a message box; with no display a line on stderr, answered with the
// default button; tests install a recorder. Thread-safe: the sink is called under no lock of
// ours and must itself be safe to call from any thread.
#pragma once

#include <string>

namespace platform {

enum class MessageIcon { kNone, kError, kExclamation, kQuestion, kInformation };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
// Answers, numbered as the dialog results they stand for.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual int Show(const std::string& caption, const std::string& text, MessageIcon icon,
                   MessageButtons buttons) = 0;
};

// Installs sink (not owned; nullptr restores the stderr sink). Returns the previous one.
MessageSink* SetMessageSink(MessageSink* sink);
// Shows a message; returns the answer (the default button for the stderr sink: OK or Yes).
int ShowAdminMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon = MessageIcon::kNone,
                     MessageButtons buttons = MessageButtons::kOk);
// The default button of a button set: what an unattended gateway answers.
[[nodiscard]] int DefaultAnswer(MessageButtons buttons);

}  // namespace platform
