// Dial-up adapters: find the adapters among the enumerated network devices, their TCP/IP
// binding, its driver, and the driver's address and mask.
#include "diagnostics/dialup_adapters.h"

#include "diagnostics/registry_text.h"

namespace diagnostics {
namespace {

using platform::Hive;
using platform::kErrorSuccess;

constexpr size_t kSubkeyNameLength = 260;
constexpr size_t kValueNameLength = 128;
constexpr char kTcpBindingPrefix[] = "MSTCP";

struct BindingsKeys {
  std::string adapter;  // "" when the adapter was not found
  std::string vpn;
};

// Scans the enumerated devices from the last to the first; a later match overwrites.
long FindAdapters(BindingsKeys* keys) {
  platform::RegKey net;
  long rc = platform::RegOpenKey(Hive::kLocalMachine, kNetEnumKey, &net);
  uint32_t subkeys = 0;
  uint32_t values = 0;
  if (rc == kErrorSuccess) rc = platform::RegQueryInfoKey(net, &subkeys, &values);
  if (rc != kErrorSuccess) return rc;
  for (uint32_t i = subkeys; i-- > 0;) {
    std::string name;
    if (platform::RegEnumKey(net, i, &name) != kErrorSuccess) continue;
    if (name.size() > kSubkeyNameLength) continue;
    std::string device = std::string(kNetEnumKey) + "\\" + name;
    std::string description;
    if (ReadText(Hive::kLocalMachine, device, "DeviceDesc", &description) != kErrorSuccess) {
      continue;
    }
    if (description == kDialUpAdapter) keys->adapter = device + "\\Bindings";
    if (description == kVpnAdapter) keys->vpn = device + "\\Bindings";
  }
  return kErrorSuccess;
}

// The TCP/IP binding among the value names of the bindings key, searched from the last name
// down; "" when there is none. The error of opening the key, else 0.
long FindTcpBinding(const std::string& bindings_key, std::string* binding) {
  binding->clear();
  platform::RegKey key;
  uint32_t subkeys = 0;
  uint32_t values = 0;
  long rc = platform::RegOpenKey(Hive::kLocalMachine, bindings_key, &key);
  if (rc == kErrorSuccess) rc = platform::RegQueryInfoKey(key, &subkeys, &values);
  if (rc != kErrorSuccess) return rc;
  for (uint32_t i = values; i-- > 0;) {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (platform::RegEnumValue(key, i, &name, &type, &data) != kErrorSuccess) continue;
    if (name.size() <= kValueNameLength && name.starts_with(kTcpBindingPrefix)) {
      *binding = name;
      break;
    }
  }
  return kErrorSuccess;
}

// Writes the adapter's name line and its address and mask, or the first failing read's error.
// Returns the address written ("" when none).
std::string WriteAdapter(ReportWriter& w, const char* title, const std::string& binding) {
  w.Write(title);
  w.Write("\n");
  std::string driver;
  std::string address;
  std::string mask;
  // A bindings key without a TCP/IP binding has no network entry to read.
  long rc = binding.empty()
                ? platform::kErrorFileNotFound
                : ReadText(Hive::kLocalMachine, "Enum\\Network\\" + binding, "Driver", &driver);
  std::string class_key = "System\\CurrentControlSet\\Services\\Class\\" + driver;
  if (rc == kErrorSuccess) rc = ReadText(Hive::kLocalMachine, class_key, "IPAddress", &address);
  if (rc == kErrorSuccess) rc = ReadText(Hive::kLocalMachine, class_key, "IPMask", &mask);
  if (rc != kErrorSuccess) {
    w.WriteRegistryError(rc);
    return "";
  }
  w.WriteField("IPAddress", address);
  w.WriteField("IPMask", mask);
  return address;
}

// One adapter: its binding lookup, then its lines when the lookup did not fail; "\n" always.
std::string WriteAdapterPart(ReportWriter& w, const char* title, const std::string& bindings) {
  std::string address;
  if (!bindings.empty()) {
    std::string binding;
    long rc = FindTcpBinding(bindings, &binding);
    if (rc != kErrorSuccess) {
      w.WriteRegistryError(rc);
    } else {
      address = WriteAdapter(w, title, binding);
    }
  }
  w.Write("\n");
  return address;
}

}  // namespace

DialUpAddresses WriteDialUpAdaptersSection(ReportWriter& w) {
  w.Write("SECTION : Dial-Up Adapters\n");
  BindingsKeys keys;
  if (long rc = FindAdapters(&keys); rc != kErrorSuccess) w.WriteRegistryError(rc);
  DialUpAddresses addresses;
  addresses.adapter = WriteAdapterPart(w, kDialUpAdapter, keys.adapter);
  addresses.vpn = WriteAdapterPart(w, kVpnAdapter, keys.vpn);
  return addresses;
}

}  // namespace diagnostics
