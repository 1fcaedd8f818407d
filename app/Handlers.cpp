// The handlers of app/Handlers.h live with their flows: AppState.cpp (state
// lifecycle), SingleFileFlow.cpp (path box, browse, drop, convert buttons),
// SaveFlow.cpp (另存为) and BatchFlow.cpp (the batch page).
#include "app/Handlers.h"
