#pragma once
// Owner of the resource list of the current Flash run; the root object holds one.

#include "oflash/FlashResObjectListUnit.h"

class TFlashResManager {
public:
    TFlashResManager() = default;
    TFlashResManager(const TFlashResManager&) = delete;
    TFlashResManager& operator=(const TFlashResManager&) = delete;

    TFlashResObjectList ResList;
};
