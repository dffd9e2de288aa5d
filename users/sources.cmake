list(APPEND QUILLET_CORE_SOURCES
  users/userfile.h users/userfile.cpp)
list(APPEND QUILLET_UI_SOURCES
  users/loginwindow.h users/loginwindow.cpp
  users/useradminwindow.h users/useradminwindow.cpp)
