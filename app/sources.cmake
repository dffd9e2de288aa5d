list(APPEND QUILLET_UI_SOURCES
  app/mainwindow.h app/mainwindow.cpp app/mainwindow_commands.cpp
  app/startup.h app/startup.cpp)
