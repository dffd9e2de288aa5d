list(APPEND QUILLET_CORE_SOURCES
  store/storeerror.h store/storeerror.cpp
  store/sqlite.h store/sqlite.cpp
  store/query.h store/query.cpp
  store/jettext.h store/jettext.cpp
  store/database.h store/database.cpp
  store/shareddatabase.h store/shareddatabase.cpp
  store/archive.h store/archive.cpp)
