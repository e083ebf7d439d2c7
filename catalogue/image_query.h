#pragma once

#include "app/ports.h"
#include "app/run_state.h"

namespace morvane {

// Asks the image tool for the XML description of the image named by Text1 and refills the three
// parallel image lists. A path that the batch file cannot carry is refused with a message, and the
// lists are left empty.
void GetWimInfo(WindowPort& ui, SystemPort& sys, const RunState& state);

// Sets the edition list's tooltip to the display name of its selected entry.
void ShowSelectedDisplayName(WindowPort& ui);

// Empties the three lists together, so they keep the same length.
void ClearImageLists(WindowPort& ui);

}  // namespace morvane
