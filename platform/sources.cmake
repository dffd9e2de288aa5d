list(APPEND QUILLET_CORE_SOURCES
  platform/lines.h platform/lines.cpp
  platform/escapes.h platform/escapes.cpp
  platform/textfile.h platform/textfile.cpp
  platform/clock.h platform/clock.cpp
  platform/appfolder.h platform/appfolder.cpp)
list(APPEND QUILLET_UI_SOURCES
  platform/dialogs.h platform/dialogsetup.h platform/dialogs.cpp
  platform/controls.h platform/controls.cpp
  platform/waitcursor.h platform/waitcursor.cpp
  platform/helpwindow.h platform/helpwindow.cpp)
