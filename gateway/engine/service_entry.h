// One configured service or mapping, as loaded from the settings store. A plain record: the
// ServiceList owns the live entries; everyone else works on copies.
#pragma once

#include <string>

#include "platform/socket.h"

namespace engine {

// Stored widths of the text fields; a text keeps at most width - 1 characters.
inline constexpr size_t kServiceTypeWidth = 26;
inline constexpr size_t kDefaultHostWidth = 64;
inline constexpr size_t kResolvedAddressWidth = 46;
inline constexpr size_t kMappingNameWidth = 26;
inline constexpr int kUnsetIndex = 999;
inline constexpr int kNoProtocol = 999;
// The resolved target address before the first session resolved DefaultHost.
inline constexpr char kUnresolved[] = " ";

// text cut to width - 1 characters, as a zero-terminated field of that width holds it.
[[nodiscard]] inline std::string CutText(const std::string& text, size_t width) {
  return text.size() < width ? text : text.substr(0, width - 1);
}

struct ServiceEntry {
  int index = kUnsetIndex;    // registry subkey number under Service, = position in the list
  int PortNum = 0;            // local listening port
  std::string ServiceType;    // kind name
  int IsActive = 0;           // 1: listen on PortNum
  int TimeOut = 0;            // 1: sessions end after TimeoutAfter idle seconds
  int TimeoutAfter = 0;
  int ListenCapacity = 0;     // listen backlog
  std::string DefaultHost;    // target (mapped kinds)
  int DefaultHostPortNum = 0;
  int ProtocolType = kNoProtocol;  // mapped kinds: 0 TCP, 1 UDP
  int UseDialler = 0;         // DNS entry only
  platform::Socket listening_socket = platform::kInvalidSocket;
  std::string resolved_target;  // DefaultHost as dotted or IPv6 text; kUnresolved until resolved
  int service_code = -1;        // -1 until its listener has been opened
  std::string MappingName;      // shown name; = ServiceType except for user mappings
};

}  // namespace engine
