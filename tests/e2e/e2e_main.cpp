// Entry of an end-to-end test binary: takes --update-exe=PATH, the program
// under test, beside GoogleTest's own options.
#include <string.h>

#include "e2e_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char kOption[] = "--update-exe=";
  for (int i = 1; i < argc; ++i)
    if (!strncmp(argv[i], kOption, sizeof(kOption) - 1))
      SetUpdateExePath(argv[i] + sizeof(kOption) - 1);
  return RUN_ALL_TESTS();
}
