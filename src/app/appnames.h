#pragma once

// The names under which the program runs: they title the window and address
// the settings store.
inline constexpr char kOrganizationName[] = "Vantrel";
inline constexpr char kApplicationName[] = "Duoscope Camera Calibrator";

// The one stored setting: the directory the disparity results are written to.
inline constexpr char kDisparityOutputDirKey[] = "DisparityMapOutputDir";
