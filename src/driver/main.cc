#include "driver/run_main.h"
#include "platform/console.h"
#include "platform/process_start.h"

int main(int argc, char** argv) {
  prepare_process();
  console_setup();
  return run_main(argc, argv, platform_default());
}
