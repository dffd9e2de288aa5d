list(APPEND QUILLET_UI_SOURCES
  windows/handler.h windows/handler.cpp
  windows/form9.h windows/form9.cpp
  windows/form10.h windows/form10.cpp
  windows/form11.h windows/form11.cpp)
