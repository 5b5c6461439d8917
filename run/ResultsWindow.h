// The results window: in a run that started with the settings dialog and
// writes its report to the desktop file, it takes the progress dialog's
// place. It lists the hits as they are found, opens one in the user's
// editor, and starts the next search without the program starting again.
#pragma once
#include "engine/SearchRequest.h"

// The settings key's value of the window's size and place.
#define RESULTS_PLACE_VALUE L"ResultsWindow"

// Runs the request's search in the results window, and every search the
// user starts from there (Search again, New search), each into the desktop
// report file afresh, until the user closes the window; frees each request
// when it is done with it. Returns a request the user made from the window
// with the window's box unticked, for the caller to run as a run without the
// window runs, else NULL. When the report file cannot be created for the
// first search, the user is told and the run ends (NULL), as without the
// window; when the window cannot be shown, the request comes back unsearched.
SearchRequest* RunResultsWindow(SearchRequest* request);
