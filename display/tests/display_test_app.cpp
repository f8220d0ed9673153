// One QApplication for all display tests; they run on the offscreen platform.
#include "common/testing/QtTestEnvironment.h"
