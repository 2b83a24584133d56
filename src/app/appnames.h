#pragma once

// The names under which the program runs: they title the window and address
// the settings store.
inline constexpr char kOrganizationName[] = "Vantrel";
inline constexpr char kApplicationName[] = "Duoscope Camera Calibrator";

// The stored settings: the directory the disparity results are written to,
// and the target screen the depth budget is measured on (its width in metres
// and the viewer's eye separation in millimetres).
inline constexpr char kDisparityOutputDirKey[] = "DisparityMapOutputDir";
inline constexpr char kTargetScreenWidthKey[] = "TargetScreenWidth";
inline constexpr char kEyeSeparationKey[] = "EyeSeparation";
