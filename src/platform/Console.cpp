#include "platform/Console.h"

#ifdef _WIN32
#include "platform/win32/Win32.h"
#endif

namespace platform {

void UseUtf8Console() {
#ifdef _WIN32
  win32::UseUtf8Console();
#endif
}

}  // namespace platform
