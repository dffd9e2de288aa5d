list(APPEND QUILLET_UI_SOURCES
  app/mainwindow.h app/mainwindow.cpp app/mainwindow_commands.cpp app/commandhost.h
  app/contactfilecommands.h app/contactfilecommands.cpp app/messagecommands.h
  app/messagecommands.cpp app/accountcommands.h app/accountcommands.cpp
  app/startup.h app/startup.cpp)
