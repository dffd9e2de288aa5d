list(APPEND QUILLET_CORE_SOURCES
  messaging/service.h messaging/service.cpp)
