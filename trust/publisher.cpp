// Pure: no Windows calls.
#include "trust/publisher.h"

const char kMakerPublisher[] = "Zorvik Corporation";
