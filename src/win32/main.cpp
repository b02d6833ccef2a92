// vornbsl.exe (and vornbsl-sensor.exe, the digital-sensor build): the updater's window
// on Windows, in plain Win32 and common controls.
#include "log/win32_text.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/build_target.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "win32/layout_check.h"
#include "win32/main_window.h"
#include "win32/message_loop.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  // The shell's "open" and the file dialogs want COM on the window's thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int code = 1;
  {
    MessageLoop loop;
    Win32MainWindow window(instance, loop);
    if (window.Create()) {
      // The image this program links is its build target, and decides what Start runs.
      window.Core().SetUpdateRunner(DigitalSensorBuild(BuiltInFirmware()) ? DigitalSensorUpdateRunner()
                                                                          : InstrumentUpdateRunner());
      PrepareLayoutCheck(window);
      window.Show(showCommand);
      code = loop.Run();
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
