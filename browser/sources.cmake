list(APPEND QUILLET_CORE_SOURCES
  browser/deletion.h browser/deletion.cpp)
list(APPEND QUILLET_UI_SOURCES
  browser/archivemodel.h browser/archivemodel.cpp
  browser/seri.h browser/seri.cpp
  browser/form1.h browser/form1.cpp)
