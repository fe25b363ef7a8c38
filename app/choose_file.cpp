// Ctrl+O: the desktop's file chooser, started in the shown file's folder and
// answered while the frame loop goes on.
#include "app/app.h"
#include "app/app_state.h"
#include "app/prompt_line.h"

void choose_file_start(void) {}

void choose_file_run_for_frame(void) {}
