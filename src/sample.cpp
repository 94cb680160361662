// Statistic generator: estimates the number of covers by random sampling.
#include "k.h"

void vorlank3() {}
