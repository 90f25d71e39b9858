#include "control/startup.h"
#include "platform/backend.h"

int main(int argc, char** argv) {
  auto real = qv::make_real_platform(argc, argv);
  return qv::run_program(real->platform());
}
