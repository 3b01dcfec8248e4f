# Who the package says it is and under which terms it is distributed. Every installed file that
# names the application id, the home page or the licence takes it from here.

# Desktop entry, icon and AppStream component are named after the application id; Qt gives it to
# Wayland as the window's app id, so the desktop can match the window to its menu entry.
set(TARVEL_APP_ID "org.tarvel.Player" CACHE STRING "Reverse-DNS application id")
# No public address yet: a reserved placeholder domain, replaced once the project has a home.
set(TARVEL_HOMEPAGE "https://tarvel-player.example" CACHE STRING "Project home page")
set(TARVEL_SCREENSHOT_URL "${TARVEL_HOMEPAGE}/screenshot.png" CACHE STRING
    "Public address of docs/screenshot.png")
set(TARVEL_MAINTAINER "Tarvel Player maintainers <maintainers@users.noreply.c-seed-5a6a51e7.example>"
    CACHE STRING "Debian Maintainer field")

# The licence in its three spellings: SPDX (AppStream), Debian's copyright format, and the notice
# the copyright file carries. GPL-2.0-or-later: the tempo path links Rubber Band (GPL-2+).
set(TARVEL_LICENSE_SPDX "GPL-2.0-or-later")
set(TARVEL_LICENSE_DEP5 "GPL-2+")
set(TARVEL_LICENSE_NOTICE_FILE "${CMAKE_CURRENT_LIST_DIR}/licence/GPL-2+.txt")
set(TARVEL_COPYRIGHT "2026 Tarvel Player developers")
