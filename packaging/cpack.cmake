# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: kelvo_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_CONTACT "Kelvo developers <kelvo@kelvo-trainer.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "classroom trainer for the DSC functions of a marine VHF radio")
set(CPACK_PACKAGE_DESCRIPTION "Each trainee works at one station, the front panel of a marine VHF DSC
controller: composing and answering individual, group and all-ships calls,
position requests and distress alerts, then talking on a simulated working
channel. The classroom DSC exchange relays the calls between the stations and
serves a console for the instructor in the browser.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KELVO_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the LCD's font, a sound server for cues and voice, and the browser opener
# of the exchange's menu entry and its notifications.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, pulseaudio | pipewire-pulse, xdg-utils, libnotify-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/conffiles
  ${PROJECT_SOURCE_DIR}/packaging/postinst
  ${PROJECT_SOURCE_DIR}/packaging/prerm
  ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only the installation the package needs; the tests and benchmarks install nothing anyway.
set(CPACK_STRIP_FILES ON)
include(CPack)
