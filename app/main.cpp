#include "app/voltally.h"

int main(int argc, char** argv) {
  return runVoltally(argc, argv);
}
