#include "win32/message_loop.h"

int MessageLoop::Run() {
  MSG message;
  while (!quitting_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      exitCode_ = got == 0 ? static_cast<int>(message.wParam) : 1;
      break;
    }
    Dispatch(message);
  }
  return exitCode_;
}

void MessageLoop::Pump(int maxWaitMs) {
  MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(maxWaitMs), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG message;
  while (!quitting_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The program ends once the wait is over: the outer loop sees it.
      quitting_ = true;
      exitCode_ = static_cast<int>(message.wParam);
      break;
    }
    Dispatch(message);
  }
}

void MessageLoop::Dispatch(MSG& message) {
  for (const Filter& filter : filters_) {
    if (filter(message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}
