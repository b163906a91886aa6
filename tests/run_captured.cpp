// Output capture for the unit tests, kept apart from the fake so that the fuzz targets can link the
// fake without GoogleTest.
#include <gtest/gtest.h>

#include "app/voltally.h"
#include "tests/fake_platform.h"

int runCaptured(std::vector<std::string> args, std::string* output) {
  args.insert(args.begin(), "Voltally");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  const int status = runVoltally(int(args.size()), argv.data());
  *output = testing::internal::GetCapturedStdout();
  return status;
}
