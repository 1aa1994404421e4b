#pragma once
// Readers of games that publish their telemetry in named shared memory, one
// file per game under shared_memory/. Each maps its block read-only from
// attach to detach, never reads past the view it actually got (a block may be
// smaller than its format says), and releases everything a failed detection
// test or attach opened.
#include "sources/shared_memory/acpmf.h"
#include "sources/shared_memory/blocks.h"
#include "sources/shared_memory/irsdk.h"
#include "sources/shared_memory/mapped_block.h"
#include "sources/shared_memory/pcars2.h"
#include "sources/shared_memory/r3e.h"
#include "sources/shared_memory/rf2.h"
#include "sources/shared_memory/scs.h"
