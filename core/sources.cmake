list(APPEND QUILLET_CORE_SOURCES
  core/session.h
  core/settings.h core/settings.cpp
  core/archivetree.h core/archivetree.cpp
  core/twips.h
  core/maker.h)
