# The Debian package, made by `cpack -G DEB` in a build directory
# (scripts/package.sh makes a Release build and packages it):
# duoscope-camera-calibrator_<version>_<architecture>.deb with everything the
# install rules put under /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME duoscope-camera-calibrator)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "align the cameras of a stereoscopic rig and check the depth of a shot")
# Lines of the long description stay within Debian's 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A tool for stereoscopic camera crews on set. It captures live video from"
  "two capture-card inputs, or one input that carries both views, finds a"
  "printed calibration board in both pictures and shows how far the cameras"
  "differ in zoom, rotation, vertical and horizontal offset, and computes a"
  "disparity map with its histogram, written as PNG files named by timecode."
  "duoscope-board prints the calibration board; duoscope-measure measures"
  "recorded footage: alignment, depth budget and camera sync per frame.")
# The address is the team's to give: a release build sets it on the command line.
set(DUOSCOPE_PACKAGE_MAINTAINER "Vantrel Duoscope team <duoscope@vantrel.invalid>" CACHE STRING
  "Maintainer field of the Debian package (name <address>)")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DUOSCOPE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug symbols stay in the build tree; the package carries lean programs.
set(CPACK_STRIP_FILES ON)

# The libraries the programs load are read off the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# GStreamer loads its elements at run time, so dpkg-shlibdeps cannot see them.
# Every real input ends in the base set's conversion and application sink, so
# that set is required. The good set brings V4L2 devices and the bad set the
# capture-card source: each is needed only for its kind of input, and the bad
# set pulls in many libraries a crew with USB grabbers never uses, so they are
# recommended, which apt installs by default and a lean machine can decline.
# Without the GStreamer driver no plugin is used.
set(DUOSCOPE_PACKAGE_DEPENDS "")
set(DUOSCOPE_PACKAGE_RECOMMENDS "")
if(TARGET decklink_gstreamer)
  set(DUOSCOPE_PACKAGE_DEPENDS "gstreamer1.0-plugins-base")
  set(DUOSCOPE_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${DUOSCOPE_PACKAGE_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${DUOSCOPE_PACKAGE_RECOMMENDS}")

include(CPack)

# What the package check (tests/package/check-deb.sh) expects of a package
# made from this build directory.
file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/package-expectations.sh" CONTENT
"# Written by CMake: what a package made from this build must hold.
version='${PROJECT_VERSION}'
package='${CPACK_PACKAGE_NAME}'
appstream_id='${DUOSCOPE_APPSTREAM_ID}'
added_depends='${DUOSCOPE_PACKAGE_DEPENDS}'
added_recommends='${DUOSCOPE_PACKAGE_RECOMMENDS}'
")
