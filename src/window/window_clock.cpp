#include "window/window_clock.h"

const char* TimerName(TimerId id) {
  switch (id) {
    case TimerId::timerStart: return "timerStart";
    case TimerId::timerEraseWarn: return "timerEraseWarn";
    case TimerId::timerConstructorErrors: return "timerConstructorErrors";
    case TimerId::tWebCheck: return "tWebCheck";
  }
  return "";
}
