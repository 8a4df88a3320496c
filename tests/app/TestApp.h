#pragma once

#include "App.h"

#include <memory>

// A fresh application object for one test case (the suite makes no global one).
std::unique_ptr<App> NewTestApp();
