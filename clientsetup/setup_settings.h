// The settings model of the client setup utility: what the "Setup Information" dialog holds
// for the life of the program, the POP account name built from it, and the values the
// utility stores for itself under the Workstation key. Used only by the GUI thread.
#pragma once

#include <string>

namespace clientsetup {

inline constexpr char kCompanyName[] = "Wayfarer Computer Products Ltd.";
inline constexpr char kProductName[] = "Wayfarer";
inline constexpr char kProductVersion[] = "2.0";
inline constexpr char kProductBuild[] = "34";
// Stored texts are read into buffers of this many bytes, terminating zero included.
inline constexpr size_t kStoredTextBuffer = 50;

struct SetupSettings {
  std::string GatewayName;
  std::string GatewayAddress;
  std::string UserName;
  std::string Pop3Server;
  std::string ReturnAddress;
  int IE3 = 0;
  int IE4 = 0;
  int Navigator3 = 0;
  int Communicator = 0;
  int Mosaic = 0;
  int PointCast = 0;
  int Eudora = 0;
  int Exchange = 0;
  int InternetMail = 0;
  int Netscape3Mail = 0;
  int CommunicatorMail = 0;
  int OutlookExpress = 0;
  int Pegasus = 0;
  int UseDefaults = 0;
  // The gateway name and address that were in the edits when "Use Defaults" was switched on.
  std::string SavedGatewayName;
  std::string SavedGatewayAddress;
};

// UserName + "<" + Pop3Server + ">": the user-name form the gateway's POP3 proxy expects.
[[nodiscard]] std::string PopAccountName(const SetupSettings& settings);

// "Software\<company>\<product>\2.0\Workstation" below HKEY_CURRENT_USER.
[[nodiscard]] std::string WorkstationKeyPath();
// "Wayfarer Version 2.0 Build 34".
[[nodiscard]] std::string AboutVersionText();

// Reads the stored values into settings; a value that cannot be read (missing, or longer than
// its 50-byte buffer) leaves its field as it was. Returns 0, or the registry error code when
// the Workstation key cannot be opened.
[[nodiscard]] long LoadWorkstation(SetupSettings* settings);
// Stores "User Name", "POP3 Server", "Return Address", then "Gateway Name", "Gateway
// Address", creating the key when missing. Returns 0 or the first registry error code.
long SaveWorkstation(const SetupSettings& settings);

}  // namespace clientsetup
