list(APPEND QUILLET_UI_SOURCES
  windows/handler.h windows/handler.cpp
  windows/disclaimerwindow.h windows/disclaimerwindow.cpp
  windows/waitbox.h windows/waitbox.cpp
  windows/aboutbox.h windows/aboutbox.cpp)
