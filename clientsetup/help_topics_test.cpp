// A help page that cannot be opened is said so, with the page's address, and why.
#include "clientsetup/help_topics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace clientsetup {
namespace {

class PathOf {
 public:
  explicit PathOf(const std::string& dir) : old_(std::getenv("PATH")) {
    setenv("PATH", dir.c_str(), 1);
  }
  ~PathOf() { setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

void Script(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
}

TEST(HelpTopics, NoOpenerOrNoHandlerIsSaidWithTheAddress) {
  platform::testing::TempStore dir;
  platform::testing::MessageRecorder messages;
  {
    PathOf path(dir.dir());
    EXPECT_EQ(HelpOpenProblem(), "xdg-open is not installed");
    EXPECT_FALSE(ShowHelpTopic(200001));
    Script(dir.dir() + "/xdg-open", "exit 0");
    Script(dir.dir() + "/xdg-mime", "echo");  // no program for web pages
    EXPECT_EQ(HelpOpenProblem(), "no program is set to open web pages");
    Script(dir.dir() + "/xdg-mime", "echo firefox-esr.desktop");
    EXPECT_EQ(HelpOpenProblem(), "");
  }
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text.rfind("The help page could not be opened: xdg-open is "
                                              "not installed.\nPlease point your browser to "
                                              "file://",
                                              0),
            0u);
  EXPECT_NE(messages.messages()[0].text.find("/help/exchange.html"), std::string::npos);
}

}  // namespace
}  // namespace clientsetup
