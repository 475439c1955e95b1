#pragma once

#include "app/app_context.h"

namespace vexa::ui {

// Whether the operating-system family found at load needs the port-I/O driver.
bool NeedsPortDriver(const AppContext& ctx);

// Obtains access to the parallel port at `Port Address`, sets PortDriverStarted and puts the
// port lines at rest. A refusal shows "The required I/O drivers could not be installed." (title
// "Error"), sends the cause to the diagnostics, and the step goes on regardless.
void StartPortDriver(AppContext& ctx);

}  // namespace vexa::ui
