#include "module/app/start.h"

#include <cfenv>

#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/services.h"
#include "ui/form_ids.h"

namespace ql::app {

void resetFloatingPoint() {
  std::fesetenv(FE_DFL_ENV);
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  // NOTE: FE_DFL_ENV leaves the x87 precision to the C library (some keep
  // 53 bits); the module expects full 64-bit precision and every exception
  // masked in both units.
  const uint16_t x87 = 0x037F;
  asm volatile("fldcw %0" : : "m"(x87));
#if defined(__SSE__)
  const uint32_t mxcsr = 0x1F80;
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
#endif
}

intptr_t startRoutine(intptr_t, intptr_t, intptr_t) {
  resetFloatingPoint();
  const LinkArea link = readLinkArea(imageBase());
  svc::setSlotTable(link.slots);
  setConstBase(link.constBase);
  setGlobals(link.vars);
  initGlobals();
  svc::registerCleanup(link.cleanupEntry);
  svc::openWindow(ui::kMainWindowId);
  svc::runMessageLoop();
  svc::endProgram();
}

intptr_t cleanupRoutine(intptr_t, intptr_t, intptr_t) {
  cleanupGlobals();
  return 0;
}

}  // namespace ql::app
