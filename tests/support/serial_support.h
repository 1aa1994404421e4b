#pragma once
// What the serial tests share: the controller doubles and captured output.
#include "captured_stdout.h"
#include "rig_double.h"
