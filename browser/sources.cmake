list(APPEND QUILLET_UI_SOURCES
  browser/archivemodel.h browser/archivemodel.cpp
  browser/seri.h browser/seri.cpp)
