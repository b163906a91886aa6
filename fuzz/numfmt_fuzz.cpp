// The number formatter against the exact reference, for any double and both precisions the
// report prints. Any difference is a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/numfmt.h"
#include "tests/numfmt_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(double)) return 0;
  double value = 0;
  memcpy(&value, data, sizeof value);
  for (int decimals : {0, 2}) {
    const std::string actual = formatFixed(value, decimals);
    const std::string expected = referenceFormat(value, decimals);
    if (actual != expected) {
      fprintf(stderr, "formatFixed(%a, %d) = \"%s\", reference \"%s\"\n", value, decimals,
              actual.c_str(), expected.c_str());
      abort();
    }
  }
  return 0;
}
