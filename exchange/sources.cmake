list(APPEND QUILLET_CORE_SOURCES
  exchange/csvexport.h exchange/csvexport.cpp
  exchange/csvimport.h exchange/csvimport.cpp
  exchange/dbf.h exchange/dbf.cpp)
list(APPEND QUILLET_UI_SOURCES
  exchange/contactfiles.h exchange/contactfiles.cpp)
