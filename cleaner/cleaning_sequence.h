#pragma once
// The uninstall cleaner's one pass: after one confirmation, remove the camera's USB
// device keys and the driver class keys they name, its INF files with their PNF
// twins, and start the product's registered uninstaller.

#include "cleaner/cleaner_system.h"

namespace vx {

// The still-image driver description that marks this camera's Image class instances.
inline constexpr const char kCameraModel[] = "VX2917";
inline constexpr const char kConfirmQuestion[] = "Confirm Device Removal ?";

// Runs the whole pass. Returns false when the user did not answer Yes (nothing is
// changed then), true otherwise. Items that cannot be read, built or removed are
// skipped; nothing is reported.
bool RunCleaning(CleanerSystem& system);

// "oem3.inf" -> "oem3.Pnf": the first letter of the extension becomes 'P'.
// Empty when the name has no extension to change.
std::string PnfTwinName(const std::string& infName);

}  // namespace vx
