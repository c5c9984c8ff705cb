// Pairing of listed and stored services on reload: what counts as the same service decides
// whether a change rebinds one listener or tears one down and opens another.
#include "gateway/engine/settings_reload.h"

#include <gtest/gtest.h>

#include "gateway/engine/service_catalogue.h"

namespace engine {
namespace {

ServiceEntry Entry(const std::string& type, int port, const std::string& name = "",
                   const std::string& host = "") {
  ServiceEntry e;
  e.ServiceType = type;
  e.PortNum = port;
  e.MappingName = name.empty() ? type : name;
  e.DefaultHost = host;
  return e;
}

TEST(SettingsReload, PairsBuiltInsByKindAndMappingsByNameOrTarget) {
  const std::vector<ServiceEntry> listed = {
      Entry("WWW", 8080),
      Entry(kTcpMappedLinkType, 2000, "mail"),
      Entry(kTcpMappedLinkType, 2001, "", "a.example"),  // unnamed
      Entry(kTcpMappedLinkType, 2002, "gone"),
  };
  const std::vector<ServiceEntry> stored = {
      Entry("WWW", 3128),                                // port changed: same service
      Entry(kTcpMappedLinkType, 2100, "mail"),           // moved: same mapping
      Entry(kTcpMappedLinkType, 2001, "", "a.example"),  // unchanged
      Entry(kUdpMappedLinkType, 2003, "new"),
  };
  const std::vector<ServicePairing> pairs = PairServices(listed, stored);
  ASSERT_EQ(pairs.size(), 5u);
  EXPECT_EQ(pairs[0].listed, 0);
  EXPECT_EQ(pairs[0].stored, 0);
  EXPECT_EQ(pairs[1].stored, 1);
  EXPECT_EQ(pairs[2].stored, 2);
  EXPECT_EQ(pairs[3].listed, 3);  // deleted
  EXPECT_EQ(pairs[3].stored, -1);
  EXPECT_EQ(pairs[4].listed, -1);  // added
  EXPECT_EQ(pairs[4].stored, 3);
  EXPECT_TRUE(ServiceDiffers(listed[0], stored[0]));
  EXPECT_TRUE(ServiceDiffers(listed[1], stored[1]));
  EXPECT_FALSE(ServiceDiffers(listed[2], stored[2]));
}

TEST(SettingsReload, EqualKeysPairInOrderAndEachEntryOnce) {
  // Two unnamed mappings to the same target on the same port (the second inactive).
  std::vector<ServiceEntry> listed = {Entry(kTcpMappedLinkType, 2001, "", "h"),
                                      Entry(kTcpMappedLinkType, 2001, "", "h")};
  std::vector<ServiceEntry> stored = {listed[0]};
  const std::vector<ServicePairing> pairs = PairServices(listed, stored);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].stored, 0);
  EXPECT_EQ(pairs[1].listed, 1);
  EXPECT_EQ(pairs[1].stored, -1);
  // A changed target of an unnamed mapping is a new mapping, not a change.
  stored[0].DefaultHost = "other";
  EXPECT_EQ(PairServices({listed[0]}, stored).size(), 2u);
}

TEST(SettingsReload, TheEmptyEntryOfAnEmptyStoreIsNeitherDeletedNorAdded) {
  EXPECT_TRUE(PairServices({ServiceEntry{}}, {ServiceEntry{}}).empty());
}

}  // namespace
}  // namespace engine
