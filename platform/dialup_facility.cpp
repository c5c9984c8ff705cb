// Binding the facility the remote-access key names, and the texts of its error codes.
#include "platform/dialup_facility.h"

#include "platform/dialup_pppd.h"
#include "platform/dialup_simulated.h"

namespace platform {

std::unique_ptr<DialupFacility> BindDialupFacility(DialupProvider provider) {
  switch (provider) {
    case DialupProvider::kSimulated:
      return std::make_unique<SimulatedDialup>();
    case DialupProvider::kPppd:
      return std::make_unique<PppdDialup>(LoadPppdConfig());
    case DialupProvider::kNone:
      break;
  }
  return nullptr;
}

long DialErrorString(long code, std::string* text) {
  switch (code) {
    case kDialErrorInvalidHandle:
      *text = "The connection handle is not valid.";
      return 0;
    case kDialErrorInvalidParameter:
      *text = "A dial parameter is not valid.";
      return 0;
    case kDialErrorPortAlreadyOpen:
      *text = "The port is already open.";
      return 0;
    case kDialErrorBufferTooSmall:
      *text = "There are more connections than room to list them.";
      return 0;
    case kDialErrorCannotStart:
      *text = "The dialling program could not be started.";
      return 0;
    case kDialErrorEntryNotFound:
      *text = "The phone book entry does not exist.";
      return 0;
    case kDialErrorCannotReadPhoneBook:
      *text = "The phone book cannot be read.";
      return 0;
    case kDialErrorRemoteDisconnected:
      *text = "The remote computer ended the connection.";
      return 0;
    case kDialErrorDeviceFailed:
      *text = "The modem or the link failed.";
      return 0;
    case kDialErrorNoAnswer:
      *text = "There is no answer.";
      return 0;
    case kDialErrorAuthentication:
      *text = "The user name or password was not accepted by the remote computer.";
      return 0;
    case kDialErrorNotConnected:
      *text = "No IP addresses have been negotiated for the connection.";
      return 0;
    case kDialErrorNotBound:
      *text = "This machine has no dial-up facility.";
      return 0;
    default:
      return kDialErrorInvalidParameter;
  }
}

}  // namespace platform
