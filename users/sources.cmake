list(APPEND QUILLET_CORE_SOURCES
  users/userfile.h users/userfile.cpp)
list(APPEND QUILLET_UI_SOURCES
  users/accesso.h users/accesso.cpp
  users/confaccount.h users/confaccount.cpp)
