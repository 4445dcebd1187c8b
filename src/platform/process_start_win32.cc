#include "platform/process_start.h"

// Files are opened as handles, never as descriptors 0 to 2, and a closed pipe
// raises no signal: nothing to settle.
void prepare_process() {}
