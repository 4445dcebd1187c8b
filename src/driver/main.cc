#include "driver/run_main.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  console_setup();
  return run_main(argc, argv, platform_default());
}
