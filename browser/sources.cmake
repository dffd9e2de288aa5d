list(APPEND QUILLET_CORE_SOURCES
  browser/entry.h browser/deletion.h browser/deletion.cpp
  browser/storedrows.h browser/storedrows.cpp)
list(APPEND QUILLET_UI_SOURCES
  browser/archivemodel.h browser/archivemodel.cpp
  browser/archivebrowser.h browser/archivebrowser.cpp
  browser/contactactions.h browser/contactactions.cpp)
