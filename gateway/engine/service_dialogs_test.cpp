// The service dialogs' checks: each message in its turn with its focus, the conflict rule by
// transport and activity, and names taken by other services.
#include "gateway/engine/service_dialogs.h"

#include <gtest/gtest.h>

#include "gateway/engine/service_catalogue.h"
#include "platform/testing/message_recorder.h"

namespace engine {
namespace {

using platform::testing::MessageRecorder;

ServiceEntry Listed(int index, const std::string& type, int port, int active,
                    const std::string& name = "", int protocol = 0) {
  ServiceEntry e;
  e.index = index;
  e.ServiceType = type;
  e.PortNum = port;
  e.IsActive = active;
  e.MappingName = name.empty() ? type : name;
  e.ProtocolType = protocol;
  return e;
}

// WWW 80 active, Telnet 23 inactive, SMTP 25 inactive, DNS 53 active, and two mappings:
// "Intranet" TCP 8080 active and an unnamed UDP mapping on 5000, inactive.
const std::vector<ServiceEntry> kServices = {
    Listed(0, "WWW", 80, 1),
    Listed(1, "Telnet", 23, 0),
    Listed(2, "SMTP", 25, 0),
    Listed(3, kDnsServiceType, 53, 1),
    Listed(4, kTcpMappedLinkType, 8080, 1, "Intranet"),
    Listed(5, kUdpMappedLinkType, 5000, 0, "", 1),
};

struct Outcome {
  std::string message;  // the message's number, "" when the dialog closes
  int focus;
};

Outcome Check(bool mapping, ServiceDialogKind kind, const ServiceDialogInput& input) {
  MessageRecorder recorder;
  int focus = -7;
  const int rc = mapping ? ValidateMappingDialog(input, kServices, &focus)
                         : ValidateServiceDialog(kind, input, kServices, &focus);
  const auto texts = recorder.texts();
  EXPECT_EQ(rc == 0, texts.empty());
  EXPECT_LE(texts.size(), 1u) << "one message per OK";
  const std::string number = texts.empty() ? "" : texts[0].substr(0, 7);
  if (!texts.empty()) {
    EXPECT_EQ(recorder.messages()[0].caption, "Wayfarer");
    EXPECT_EQ(recorder.messages()[0].icon, number == "E-10034"
                                               ? platform::MessageIcon::kError
                                               : platform::MessageIcon::kExclamation);
  }
  return {number, rc == 0 ? 0 : focus};
}

ServiceDialogInput Service(int index, bool active, int port, bool timeout = false,
                           int seconds = 0) {
  ServiceDialogInput in;
  in.index = index;
  in.active = active;
  in.port = port;
  in.timeout = timeout;
  in.seconds = seconds;
  in.server = "mail.example";
  in.server_port = 25;
  return in;
}

TEST(ServiceDialogs, BuiltInAndServerDialogsCheckInTheirOrder) {
  struct Case {
    const char* what;
    ServiceDialogKind kind;
    ServiceDialogInput input;
    const char* message;
    int focus;
  };
  ServiceDialogInput no_server = Service(2, true, 25);
  no_server.server = "";
  ServiceDialogInput bad_server_port = Service(2, false, 25);
  bad_server_port.server_port = 0;
  ServiceDialogInput conflict_before_port = Service(1, true, 80, true, 0);
  const Case cases[] = {
      {"active onto an active port", ServiceDialogKind::kBuiltIn, Service(1, true, 80), "E-10007",
       kCtlPort},
      {"conflict comes first", ServiceDialogKind::kBuiltIn, conflict_before_port, "E-10007",
       kCtlPort},
      {"inactive onto an active port", ServiceDialogKind::kBuiltIn, Service(1, false, 80), "", 0},
      {"active onto an inactive port", ServiceDialogKind::kBuiltIn, Service(0, true, 25), "", 0},
      {"its own port", ServiceDialogKind::kBuiltIn, Service(0, true, 80), "", 0},
      {"port 0", ServiceDialogKind::kBuiltIn, Service(1, false, 0), "E-10009", kCtlPort},
      {"negative port", ServiceDialogKind::kBuiltIn, Service(1, false, -23), "E-10009", kCtlPort},
      {"port past 16 bits", ServiceDialogKind::kBuiltIn, Service(1, false, 65536), "E-10009",
       kCtlPort},
      {"highest port", ServiceDialogKind::kBuiltIn, Service(1, false, 65535), "", 0},
      {"timeout of 0", ServiceDialogKind::kBuiltIn, Service(1, false, 23, true, 0), "E-10009",
       kCtlSeconds},
      {"no timeout, no seconds", ServiceDialogKind::kBuiltIn, Service(1, false, 23, false, 0), "",
       0},
      {"no server", ServiceDialogKind::kMappedServer, no_server, "E-10008", kCtlServer},
      {"server port 0", ServiceDialogKind::kMappedServer, bad_server_port, "E-10009",
       kCtlServerPort},
      {"131 asks no server", ServiceDialogKind::kBuiltIn, no_server, "", 0},
  };
  for (const Case& c : cases) {
    const Outcome got = Check(false, c.kind, c.input);
    EXPECT_EQ(got.message, c.message) << c.what;
    EXPECT_EQ(got.focus, c.focus) << c.what;
  }
}

ServiceDialogInput Mapping(int index, bool active, int port, int protocol, const std::string& name,
                           const std::string& current = "") {
  ServiceDialogInput in = Service(index, active, port, true, 180);
  in.server = "10.0.0.9";
  in.server_port = 80;
  in.protocol = protocol;
  in.mapping_name = name;
  in.current_name = current;
  return in;
}

TEST(ServiceDialogs, MappingDialogChecksInItsOrder) {
  struct Case {
    const char* what;
    ServiceDialogInput input;
    const char* message;
    int focus;
  };
  ServiceDialogInput no_host = Mapping(kUnsetIndex, true, 9000, 0, "Web");
  no_host.server = "";
  ServiceDialogInput no_host_inactive = no_host;
  no_host_inactive.active = false;
  ServiceDialogInput no_host_port = Mapping(kUnsetIndex, true, 9000, 0, "Web");
  no_host_port.server_port = 0;
  ServiceDialogInput zero_seconds = Mapping(kUnsetIndex, true, 9000, 0, "Web");
  zero_seconds.seconds = 0;
  const Case cases[] = {
      {"a new mapping", Mapping(kUnsetIndex, true, 9000, 0, "Web"), "", 0},
      {"name of a mapping", Mapping(kUnsetIndex, true, 9000, 0, "Intranet"), "E-10034",
       kCtlMappingName},
      {"name of a built-in", Mapping(kUnsetIndex, true, 9000, 0, "WWW"), "E-10034",
       kCtlMappingName},
      {"name comes before the port", Mapping(kUnsetIndex, true, 0, 0, "WWW"), "E-10034",
       kCtlMappingName},
      {"modify keeps its name", Mapping(4, true, 8080, 0, "Intranet", "Intranet"), "", 0},
      {"modify onto another's name", Mapping(5, false, 5000, 1, "Intranet"), "E-10034",
       kCtlMappingName},
      {"active on an active built-in's port", Mapping(kUnsetIndex, true, 80, 0, ""), "E-10007",
       kCtlPort},
      {"inactive on an active built-in's port", Mapping(kUnsetIndex, false, 80, 0, ""), "", 0},
      {"UDP on an active TCP built-in's port", Mapping(kUnsetIndex, true, 80, 1, ""), "", 0},
      {"active on an active mapping's port", Mapping(kUnsetIndex, true, 8080, 0, ""), "E-10006",
       kCtlPort},
      {"inactive on an inactive mapping's port", Mapping(kUnsetIndex, false, 5000, 1, ""),
       "E-10006", kCtlPort},
      {"TCP on a UDP mapping's port", Mapping(kUnsetIndex, true, 5000, 0, ""), "", 0},
      {"UDP on the DNS port", Mapping(kUnsetIndex, true, 53, 1, ""), "E-10007", kCtlPort},
      {"port 0", Mapping(kUnsetIndex, true, 0, 0, ""), "E-10009", kCtlPort},
      {"timeout of 0", zero_seconds, "E-10009", kCtlSeconds},
      {"no host", no_host, "E-10008", kCtlRemoteHost},
      {"no host, inactive", no_host_inactive, "", 0},
      {"no host port", no_host_port, "E-10009", kCtlRemotePort},
  };
  for (const Case& c : cases) {
    const Outcome got = Check(true, ServiceDialogKind::kMapping, c.input);
    EXPECT_EQ(got.message, c.message) << c.what;
    EXPECT_EQ(got.focus, c.focus) << c.what;
  }
}

TEST(ServiceDialogs, DialogsByKindAndAnUnnamedMappingShowsNoName) {
  EXPECT_EQ(DialogKindFor("WWW"), ServiceDialogKind::kBuiltIn);
  EXPECT_EQ(DialogKindFor("RealAudio"), ServiceDialogKind::kBuiltIn);
  EXPECT_EQ(DialogKindFor("IRC"), ServiceDialogKind::kMappedServer);
  EXPECT_EQ(DialogKindFor(kUdpMappedLinkType), ServiceDialogKind::kMapping);
  EXPECT_EQ(DialogKindFor("DNS"), ServiceDialogKind::kDns);
  EXPECT_EQ(ServiceDialogInputFor(kServices[5]).mapping_name, "");
  EXPECT_EQ(ServiceDialogInputFor(kServices[5]).protocol, 1);
  EXPECT_EQ(ServiceDialogInputFor(kServices[4]).current_name, "Intranet");
}

}  // namespace
}  // namespace engine
