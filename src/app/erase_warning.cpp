#include "app/erase_warning.h"

#include "app/update_run.h"
#include "bsl/device_profile.h"

bool EraseWarningDue(const UpdaterState& state, int kind) {
  // The sensor sequence never erases measurement data, whatever image it holds.
  return DataEraseWarning(kind) && !state.digitalSensorBuild && !state.repairMode && !state.factoryMode &&
         !state.dontEraseData;
}

std::string EraseWarningText(const std::string& caption, const std::string& modelName) {
  return "WARNING: The " + caption + " will erase all measurement data\n stored in your " + modelName +
         ".\n\n Please download any data you want to save before continuing.";
}
