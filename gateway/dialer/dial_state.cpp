// The one Dialer of the process.
#include "gateway/dialer/dial_state.h"

namespace dialer {

Dialer& TheDialer() {
  static Dialer dialer;
  return dialer;
}

}  // namespace dialer
