#include "app/appstate.h"

AppState& appState() {
    static AppState state;
    return state;
}
