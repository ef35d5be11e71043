// The window tests share one application object.
#include "common/QtTestMain.h"

int main(int argc, char** argv) { return testutil::RunQtTests(argc, argv, "tarvine-ui-test-"); }
