#include "entry/module.h"

HINSTANCE moduleInstance = nullptr;
const char kModuleFileName[] = "kuvana_coinst.dll";
