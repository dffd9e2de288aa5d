list(APPEND QUILLET_CORE_SOURCES
  app/session.h
  app/settings.h app/settings.cpp
  app/archivetree.h app/archivetree.cpp
  app/twips.h
  app/maker.h)
list(APPEND QUILLET_UI_SOURCES
  app/mainwindow.h app/mainwindow.cpp app/mainwindow_commands.cpp
  app/startup.h app/startup.cpp)
