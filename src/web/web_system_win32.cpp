#include "web/web_settings_win32.h"
#include "web/web_system.h"
#include "web/web_transport_winhttp.h"

std::unique_ptr<WebTransport> MakeSystemWebTransport() { return std::make_unique<WinHttpTransport>(); }

std::unique_ptr<WebSettings> MakeSystemWebSettings() { return std::make_unique<RegistryWebSettings>(); }
