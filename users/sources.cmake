list(APPEND QUILLET_CORE_SOURCES
  users/userfile.h users/userfile.cpp)
