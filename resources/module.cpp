#include "resources/module.h"

HINSTANCE moduleInstance = nullptr;
const char kModuleFileName[] = "kuvana_coinst.dll";
